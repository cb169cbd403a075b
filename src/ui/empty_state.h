#pragma once

#include <QWidget>

class QAbstractButton;
class QLabel;
class QVBoxLayout;

namespace vesker {

// The centred placeholder where a list has nothing to show: a large symbol, a title, an
// explanation when there is one, and the buttons its owner adds.
class EmptyState : public QWidget {
    Q_OBJECT
public:
    explicit EmptyState(QWidget* parent = nullptr);

    void setContent(const QString& title, const QString& systemImage, const QString& description);
    // Takes the button; buttons stay until removed by their owner.
    void addAction(QAbstractButton* button);

private:
    QLabel* m_symbol = nullptr;
    QLabel* m_title = nullptr; // "emptyStateTitle"
    QLabel* m_description = nullptr; // "emptyStateDescription"
    QVBoxLayout* m_actions = nullptr;
};

} // namespace vesker
