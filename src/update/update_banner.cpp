#include "update/update_banner.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "update/update_alerts_view.h"
#include "update/update_texts.h"
#include "update/updater.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

QPushButton* smallButton(const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    setTextStyle(*button, TextStyle::callout);
    return button;
}

} // namespace

UpdateBanner::UpdateBanner(Updater& updater, QWidget* parent)
    : QWidget(parent)
    , m_updater(updater)
{
    setObjectName(QStringLiteral("updateBanner"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* strip = new QWidget(this);
    strip->setBackgroundRole(QPalette::Base);
    strip->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(12);

    m_icon = new QLabel(strip);
    m_icon->setPixmap(
        symbolIcon(QStringLiteral("arrow.down.circle.fill"), palette(), QPalette::Highlight)
            .pixmap(22, 22));
    row->addWidget(m_icon);

    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    m_title = plainLabel(QString(), strip);
    m_title->setObjectName(QStringLiteral("updateBannerTitle"));
    QFont titleFont = vesker::font(TextStyle::callout, m_title->font());
    titleFont.setWeight(QFont::Medium);
    m_title->setFont(titleFont);
    column->addWidget(m_title);
    m_notes = plainLabel(QString(), strip);
    m_notes->setObjectName(QStringLiteral("updateBannerNotes"));
    setTextStyle(*m_notes, TextStyle::caption);
    setSecondary(*m_notes);
    // One line, cut to the room there is: the full notes are in the tooltip and in Settings.
    m_notes->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(m_notes);
    row->addLayout(column, 1);

    m_download = smallButton(QStringLiteral("updateBannerDownload"), strip);
    m_download->setDefault(true);
    row->addWidget(m_download);
    m_later = smallButton(QStringLiteral("updateBannerLater"), strip);
    m_later->setText(QStringLiteral("Later"));
    row->addWidget(m_later);

    outer->addWidget(strip);
    outer->addWidget(makeDivider(this));

    connect(m_download, &QPushButton::clicked, this, [this] {
        if (const auto release = m_updater.pendingRelease())
            openUpdateDownload(*release);
    });
    connect(m_later, &QPushButton::clicked, this, [this] {
        if (const auto release = m_updater.pendingRelease())
            m_updater.skipVersion(*release);
    });
    connect(&m_updater, &Updater::changed, this, &UpdateBanner::refresh);
    refresh();
}

void UpdateBanner::refresh()
{
    const std::optional<UpdateRelease> release = m_updater.pendingRelease();
    setVisible(release.has_value());
    if (!release)
        return;
    m_title->setText(update_text::availableTitle(*release));
    m_download->setText(update_text::downloadTitle(*release));
    m_fullNotes = release->notes;
    m_notes->setVisible(!m_fullNotes.isEmpty());
    m_notes->setToolTip(m_fullNotes.toHtmlEscaped());
    elideNotes();
}

void UpdateBanner::elideNotes()
{
    const QString firstLine = m_fullNotes.section(u'\n', 0, 0);
    m_notes->setText(
        m_notes->fontMetrics().elidedText(firstLine, Qt::ElideRight, qMax(0, m_notes->width())));
}

void UpdateBanner::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    elideNotes();
}

} // namespace vesker
