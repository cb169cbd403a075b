#include "ui/empty_state.h"

#include <QAbstractButton>
#include <QLabel>
#include <QVBoxLayout>

namespace vesker {

// A title and a description in a column.
EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    m_symbol = new QLabel(this);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("emptyStateTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_description = new QLabel(this);
    m_description->setObjectName(QStringLiteral("emptyStateDescription"));
    m_description->setTextFormat(Qt::PlainText);
    m_actions = new QVBoxLayout;
    column->addWidget(m_symbol);
    column->addWidget(m_title);
    column->addWidget(m_description);
    column->addLayout(m_actions);
}

void EmptyState::setContent(
    const QString& title, const QString& systemImage, const QString& description)
{
    m_symbol->setText(systemImage);
    m_title->setText(title);
    m_description->setText(description);
}

void EmptyState::addAction(QAbstractButton* button)
{
    button->setParent(this);
    m_actions->addWidget(button);
}

} // namespace vesker
