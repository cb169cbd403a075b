#include "ui/empty_state.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QAbstractButton>
#include <QLabel>
#include <QVBoxLayout>

namespace vesker {

namespace {
constexpr int kSymbolSize = 44;
constexpr int kMaxDescriptionWidth = 420;
} // namespace

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addStretch(1);

    m_symbol = new QLabel(this);
    m_symbol->setObjectName(QStringLiteral("emptyStateSymbol"));
    m_symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_symbol, 0, Qt::AlignHCenter);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("emptyStateTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);
    QFont titleFont = vesker::font(TextStyle::title2, m_title->font());
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    // The whole width, for the reason below: a long search quoted in it wraps to its height.
    layout->addWidget(m_title);

    m_description = new QLabel(this);
    m_description->setObjectName(QStringLiteral("emptyStateDescription"));
    m_description->setTextFormat(Qt::PlainText);
    m_description->setAlignment(Qt::AlignCenter);
    m_description->setWordWrap(true);
    m_description->setMaximumWidth(kMaxDescriptionWidth);
    setSecondary(*m_description);
    m_description->hide();
    // Centred by stretches rather than by alignment: an aligned word-wrapped label is given
    // its narrow guess of a width and a height too low for the lines it then wraps into.
    m_description->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* descriptionRow = new QHBoxLayout;
    descriptionRow->addStretch(1);
    descriptionRow->addWidget(m_description, 100);
    descriptionRow->addStretch(1);
    layout->addLayout(descriptionRow);

    m_actions = new QVBoxLayout;
    m_actions->setContentsMargins(0, 4, 0, 0);
    m_actions->setSpacing(10);
    layout->addLayout(m_actions);
    layout->addStretch(1);
}

void EmptyState::setContent(
    const QString& title, const QString& systemImage, const QString& description)
{
    const QIcon icon = symbolIcon(systemImage, palette(), QPalette::PlaceholderText);
    m_symbol->setPixmap(icon.pixmap(QSize(kSymbolSize, kSymbolSize), devicePixelRatioF()));
    m_symbol->setVisible(!icon.isNull());
    m_title->setText(title);
    m_description->setText(description);
    m_description->setVisible(!description.isEmpty());
}

void EmptyState::addAction(QAbstractButton* button)
{
    m_actions->addWidget(button, 0, Qt::AlignHCenter);
}

} // namespace vesker
