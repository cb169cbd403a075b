#include "focus_guard/application_chooser_sheet.h"

#include "platform/desktop_apps.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vesker {

namespace {

constexpr int kFileRole = Qt::UserRole;

QIcon appIcon(const QString& name)
{
    if (name.isEmpty())
        return {};
    return QFileInfo(name).isAbsolute() ? QIcon(name) : QIcon::fromTheme(name);
}

} // namespace

ApplicationChooserSheet::ApplicationChooserSheet(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("applicationChooser"));
    setWindowTitle(QStringLiteral("Choose Applications"));
    setWindowModality(Qt::WindowModal);
    resize(380, 440);
    auto* layout = new QVBoxLayout(this);

    auto* filter = new QLineEdit(this);
    filter->setObjectName(QStringLiteral("applicationFilter"));
    filter->setPlaceholderText(QStringLiteral("Search"));
    filter->setAccessibleName(filter->placeholderText());
    filter->setClearButtonEnabled(true);
    layout->addWidget(filter);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("applicationList"));
    m_list->setAccessibleName(windowTitle());
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setIconSize(QSize(24, 24));
    platform::DesktopAppIndex index;
    for (const platform::DesktopApp& app : index.listed()) {
        auto* item = new QListWidgetItem(appIcon(app.iconName), app.name, m_list);
        item->setData(kFileRole, app.filePath);
        item->setToolTip(QStringLiteral("<p>%1</p>").arg(app.id.toHtmlEscaped()));
    }
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* add = buttons->addButton(QStringLiteral("Add"), QDialogButtonBox::AcceptRole);
    add->setObjectName(QStringLiteral("addApplicationsButton"));
    add->setDefault(true);
    add->setEnabled(false);
    layout->addWidget(buttons);

    connect(filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        for (int i = 0; i < m_list->count(); ++i) {
            QListWidgetItem* item = m_list->item(i);
            item->setHidden(!item->text().contains(text.trimmed(), Qt::CaseInsensitive));
        }
    });
    connect(m_list, &QListWidget::itemSelectionChanged, add,
        [this, add] { add->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_list, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(this, &QDialog::accepted, this, [this] {
        QStringList files;
        for (int i = 0; i < m_list->count(); ++i) {
            if (m_list->item(i)->isSelected() && !m_list->item(i)->isHidden())
                files.append(m_list->item(i)->data(kFileRole).toString());
        }
        Q_EMIT chosen(files);
    });
}

} // namespace vesker
