#include "inbox/inbox_bar.h"

#include "inbox/inbox_state.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace vesker {

// The search field and the buttons the window answers, nothing more.
InboxBar::InboxBar(InboxState& state, ServerController& server, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_server(server)
{
    setObjectName(QStringLiteral("inboxBar"));
    auto* row = new QHBoxLayout(this);
    auto* search = new QLineEdit(this);
    search->setObjectName(QStringLiteral("searchField"));
    search->setAcceptDrops(false);
    search->setText(state.search());
    connect(search, &QLineEdit::textEdited, &state, &InboxState::setSearch);
    connect(&state, &InboxState::changed, search, [search, &state] {
        if (search->text() != state.search())
            search->setText(state.search());
    });
    row->addWidget(search);
    auto addButton = [&](const char* name, const QString& label, auto signal) {
        auto* button = new QPushButton(label, this);
        button->setObjectName(QString::fromLatin1(name));
        connect(button, &QPushButton::clicked, this, signal);
        row->addWidget(button);
    };
    addButton("connectButton", QStringLiteral("Connect"), &InboxBar::connectRequested);
    addButton("sendButton", QStringLiteral("Send…"), &InboxBar::sendRequested);
    addButton("fullScreenButton", QStringLiteral("Full screen"), &InboxBar::fullScreenRequested);
}

void InboxBar::setSpeedReviewAvailable(bool) { }

void InboxBar::resizeEvent(QResizeEvent* event) { QWidget::resizeEvent(event); }

} // namespace vesker
