#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace vesker {

// One piece of a help page, top to bottom.
struct HelpBlock {
    enum class Kind { heading, text, bullets, keys, note };

    Kind kind = Kind::text;
    // One string for a heading, a paragraph and a note; the items of a list; for keys the key
    // combination and then the action's name.
    QStringList strings;

    bool operator==(const HelpBlock&) const = default;
};

// A page of the built-in manual.
struct HelpTopic {
    QString id; // stable: the menu commands and the selection name topics by it
    QString title;
    QString symbol;
    QList<HelpBlock> blocks;

    bool operator==(const HelpTopic&) const = default;

    // The fourteen pages, in the order of the list.
    static const QList<HelpTopic>& all();
    // What a search looks through: the title and every block's words, lower-cased.
    QString searchText() const;
};

// The topics whose text holds `query`, trimmed of spaces and tabs at its ends, as a
// case-blind substring; an empty query keeps them all.
QList<HelpTopic> filterHelpTopics(const QList<HelpTopic>& topics, const QString& query);

// The page to show: the chosen topic, looked up among all topics so that a search hiding it
// from the list does not take the page away from the reader; without a known choice, the first
// topic listed.
std::optional<HelpTopic> selectedHelpTopic(
    const std::optional<QString>& selection, const QList<HelpTopic>& listed);

// Which topic the help window shows: written by a row picked in its list and by the Help menu.
class HelpSelection : public QObject {
    Q_OBJECT
public:
    // Starts at the first topic.
    explicit HelpSelection(QObject* parent = nullptr);

    std::optional<QString> topic() const { return m_topic; }
    void setTopic(const std::optional<QString>& topic);

Q_SIGNALS:
    void topicChanged();

private:
    std::optional<QString> m_topic;
};

} // namespace vesker
