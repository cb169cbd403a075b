#include "settings/permissions_settings_view.h"

#include "platform/permissions.h"
#include "ui/text_style.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace vesker {

namespace {

using Status = Permissions::Status;

QString statusText(Status status)
{
    switch (status) {
    case Status::granted:
        return QStringLiteral("Allowed");
    case Status::denied:
        return QStringLiteral("Not allowed");
    case Status::unavailable:
        return QStringLiteral("Not available");
    case Status::unknown:
        break;
    }
    return QStringLiteral("Not asked yet");
}

QPixmap permissionDot(Status status, const QPalette& palette, qreal ratio)
{
    const QColor colour = status == Status::granted                 ? successColor()
        : status == Status::denied || status == Status::unavailable ? destructiveColor()
                                                                    : secondaryColor(palette);
    return statusDot(colour, 8, ratio);
}

bool hasSettingsPage(const QString& anchor)
{
    return privacySettingsCommand(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), anchor,
        [](const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); })
        .has_value();
}

struct Row {
    QString name; // object names: <name>Status, <name>Help
    QString title;
    QString description;
    QString anchor;
    // What to do instead, for a desktop without a page for it.
    QString withoutPage;
    Status (Permissions::*status)() const;
    void (Permissions::*changed)(Status);
};

} // namespace

PermissionsSettingsView::PermissionsSettingsView(Permissions& permissions, QWidget* parent)
    : QWidget(parent)
    , m_permissions(permissions)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* group = new QGroupBox(QStringLiteral("Permissions"), this);
    outer->addWidget(group);
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(0, 1);
    grid->setVerticalSpacing(10);

    const QString paste = QKeySequence(Qt::CTRL | Qt::Key_V).toString(QKeySequence::NativeText);
    const QList<Row> rows {
        {QStringLiteral("notifications"), QStringLiteral("Notifications"),
            QStringLiteral("A banner when something arrives, even if the window is hidden."),
            QStringLiteral("Privacy_Notifications"),
            QStringLiteral("No notification service answers in this session, so no banners "
                           "are shown; the desktop usually runs one."),
            &Permissions::notifications, &Permissions::notificationsChanged},
        {QStringLiteral("accessibility"), QStringLiteral("Accessibility (optional)"),
            QStringLiteral("Only needed for “Paste into front app”, which types a scanned "
                           "barcode into whatever app you were using."),
            QStringLiteral("Privacy_Accessibility"),
            QStringLiteral("Typing into another app needs an X11 session; elsewhere the value is "
                           "copied and you press %1 in the other app.")
                .arg(paste),
            &Permissions::accessibility, &Permissions::accessibilityChanged},
    };
    for (int i = 0; i < rows.size(); ++i) {
        const Row& row = rows.at(i);
        auto* text = new QWidget(group);
        auto* lines = new QVBoxLayout(text);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(3);
        auto* header = new QHBoxLayout;
        header->setSpacing(6);
        auto* title = new QLabel(row.title, text);
        setTextStyle(*title, TextStyle::headline);
        header->addWidget(title);
        auto* dot = new QLabel(text);
        header->addWidget(dot);
        auto* status = new QLabel(text);
        status->setObjectName(row.name + QStringLiteral("Status"));
        setTextStyle(*status, TextStyle::caption);
        setSecondary(*status);
        header->addWidget(status);
        header->addStretch();
        lines->addLayout(header);
        auto* description = new QLabel(row.description, text);
        description->setWordWrap(true);
        setTextStyle(*description, TextStyle::callout);
        setSecondary(*description);
        lines->addWidget(description);
        auto* help = new QLabel(row.withoutPage, text);
        help->setObjectName(row.name + QStringLiteral("Help"));
        help->setWordWrap(true);
        setTextStyle(*help, TextStyle::caption);
        setSecondary(*help);
        lines->addWidget(help);
        grid->addWidget(text, i, 0);

        const bool hasPage = hasSettingsPage(row.anchor);
        if (hasPage) {
            auto* open = new QPushButton(QStringLiteral("Open Settings"), group);
            open->setObjectName(row.name + QStringLiteral("SettingsButton"));
            open->setAccessibleName(row.title + QStringLiteral(": ") + open->text());
            const QString anchor = row.anchor;
            connect(open, &QPushButton::clicked, this, [anchor] { openPrivacySettings(anchor); });
            grid->addWidget(open, i, 1, Qt::AlignTop);
        }
        const auto show = [this, row, dot, status, help, hasPage] {
            const Status now = (m_permissions.*row.status)();
            status->setText(statusText(now));
            dot->setPixmap(permissionDot(now, palette(), devicePixelRatioF()));
            help->setVisible(now == Status::unavailable || (!hasPage && now == Status::denied));
        };
        show();
        connect(&m_permissions, row.changed, this, show);
    }

    // Someone who changed a permission elsewhere comes back to see it here.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
        if (s == Qt::ApplicationActive && isVisible())
            m_permissions.refresh();
    });
}

void PermissionsSettingsView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_permissions.refresh();
}

} // namespace vesker
