#pragma once

#include <QWidget>

namespace vesker {

struct HelpTopic;

// One topic of the manual laid out as a page: its title, its blocks, and a footer with the
// Support and Privacy links.
class HelpPageView : public QWidget {
    Q_OBJECT
public:
    explicit HelpPageView(const HelpTopic& topic, QWidget* parent = nullptr);
};

} // namespace vesker
