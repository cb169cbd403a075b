#include "update/update_settings_row_view.h"

#include "ui/symbol_icon.h"
#include "ui/text_style.h"
#include "update/update_alerts_view.h"
#include "update/update_texts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace vesker {

namespace {

QLabel* secondaryLine(const QString& text, TextStyle style, QWidget* parent)
{
    auto* label = plainLabel(text, parent);
    label->setWordWrap(true);
    setTextStyle(*label, style);
    setSecondary(*label);
    return label;
}

} // namespace

UpdateSettingsRowView::UpdateSettingsRowView(Updater& updater, QWidget* parent)
    : QGroupBox(QStringLiteral("Updates"), parent)
    , m_updater(updater)
{
    setObjectName(QStringLiteral("updateSettingsRow"));
    m_layout = new QVBoxLayout(this);
    m_layout->setSpacing(8);

    auto* versionLine = new QHBoxLayout;
    auto* version = plainLabel(QStringLiteral("Version ") + m_updater.currentVersion(), this);
    version->setObjectName(QStringLiteral("updateCurrentVersion"));
    versionLine->addWidget(version);
    m_checkNow = new QPushButton(QStringLiteral("Check now"), this);
    m_checkNow->setObjectName(QStringLiteral("updateCheckNow"));
    versionLine->addWidget(m_checkNow);
    versionLine->addStretch();
    m_layout->addLayout(versionLine);

    m_automatic = new QCheckBox(QStringLiteral("Check for updates automatically"), this);
    m_automatic->setObjectName(QStringLiteral("updateAutomaticCheck"));
    m_automatic->setAccessibleName(m_automatic->text());
    m_layout->addWidget(m_automatic);

    connect(m_checkNow, &QPushButton::clicked, this, [this] { m_updater.check(true); });
    connect(
        m_automatic, &QCheckBox::toggled, this, [this](bool on) { m_updater.setAutomatic(on); });
    connect(&m_updater, &Updater::changed, this, &UpdateSettingsRowView::refresh);
    refresh();
}

void UpdateSettingsRowView::refresh()
{
    {
        const QSignalBlocker quiet(m_automatic);
        m_automatic->setChecked(m_updater.automaticChecksEnabled());
    }
    const UpdateStatus status = m_updater.status();
    m_checkNow->setEnabled(status.state != UpdateStatus::State::checking);
    if (m_shown == status)
        return;
    m_shown = status;
    // The old outcome may hold the button being clicked: it goes once the click is over.
    if (m_outcome) {
        m_outcome->hide();
        m_outcome->setParent(nullptr);
        m_outcome->deleteLater();
    }
    m_outcome = makeOutcome(status);
    if (m_outcome)
        m_layout->insertWidget(1, m_outcome);
}

QWidget* UpdateSettingsRowView::makeOutcome(const UpdateStatus& status)
{
    switch (status.state) {
    case UpdateStatus::State::idle:
        return nullptr;
    case UpdateStatus::State::available:
        return makeOffer(status.release);
    case UpdateStatus::State::checking: {
        auto* line = new QWidget(this);
        auto* row = new QHBoxLayout(line);
        row->setContentsMargins(0, 0, 0, 0);
        auto* spinner = new QProgressBar(line);
        spinner->setRange(0, 0);
        spinner->setTextVisible(false);
        spinner->setFixedSize(48, 10);
        row->addWidget(spinner);
        row->addWidget(secondaryLine(update_text::statusLine(status), TextStyle::body, line));
        row->addStretch();
        line->setObjectName(QStringLiteral("updateStatusLine"));
        return line;
    }
    case UpdateStatus::State::upToDate:
    case UpdateStatus::State::unreachable:
        break;
    }
    auto* line = secondaryLine(update_text::statusLine(status), TextStyle::callout, this);
    line->setObjectName(QStringLiteral("updateStatusLine"));
    return line;
}

// Shown whatever the user skipped: Settings is where a skipped version can still be had.
QWidget* UpdateSettingsRowView::makeOffer(const UpdateRelease& release)
{
    auto* block = new QWidget(this);
    block->setObjectName(QStringLiteral("updateOffer"));
    auto* column = new QVBoxLayout(block);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    auto* titleLine = new QHBoxLayout;
    auto* icon = new QLabel(block);
    icon->setPixmap(
        symbolIcon(QStringLiteral("arrow.down.circle.fill"), palette(), QPalette::Highlight)
            .pixmap(18, 18));
    titleLine->addWidget(icon);
    auto* title = plainLabel(update_text::availableTitle(release), block);
    title->setObjectName(QStringLiteral("updateStatusLine"));
    setTextStyle(*title, TextStyle::headline);
    titleLine->addWidget(title, 1);
    column->addLayout(titleLine);
    if (!release.notes.isEmpty())
        column->addWidget(secondaryLine(release.notes, TextStyle::callout, block));

    auto* buttons = new QHBoxLayout;
    auto* download = new QPushButton(update_text::downloadTitle(release), block);
    download->setObjectName(QStringLiteral("updateDownload"));
    download->setDefault(true);
    buttons->addWidget(download);
    auto* skip = new QPushButton(QStringLiteral("Skip this version"), block);
    skip->setObjectName(QStringLiteral("updateSkip"));
    buttons->addWidget(skip);
    buttons->addStretch();
    column->addLayout(buttons);

    connect(download, &QPushButton::clicked, this, [release] { openUpdateDownload(release); });
    connect(skip, &QPushButton::clicked, this, [this, release] { m_updater.skipVersion(release); });
    return block;
}

} // namespace vesker
