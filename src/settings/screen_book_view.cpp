#include "settings/screen_book_view.h"

#include "platform/defaults.h"
#include "screens/remote_screens_manager.h"
#include "send/screen_browser.h"
#include "send/screen_directory.h"
#include "settings/settings_bindings.h"
#include "ui/symbol_icon.h"
#include "ui/text_style.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace vesker {

namespace {

const char* const kKeyProperty = "screenKey";

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    QLabel* label = plainLabel(text, parent);
    label->setWordWrap(true);
    setTextStyle(*label, TextStyle::caption);
    setSecondary(*label);
    return label;
}

// A button's title shows "&" as it is, not as the key that presses it.
QString buttonTitle(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

void sortByName(QStringList& names)
{
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
}

} // namespace

ScreenBookView::ScreenBookView(Sources sources, QWidget* parent)
    : QWidget(parent)
    , m_sources(sources)
{
    setObjectName(QStringLiteral("screenBook"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(makeNicknames());
    layout->addWidget(makeGroups());

    ScreenDirectory& directory = m_sources.directory;
    connect(
        &directory, &ScreenDirectory::knownScreensChanged, this, [this] { m_relist.request(); });
    connect(&directory, &ScreenDirectory::groupsChanged, this, [this] { m_relist.request(); });
    connect(&directory, &ScreenDirectory::nicknamesChanged, this, [this] {
        showNicknames();
        m_relist.request();
    });
    if (m_sources.remote) {
        connect(m_sources.remote, &RemoteScreensManager::screensChanged, this,
            [this] { m_relist.request(); });
    }
    listNicknames();
    listGroups();
}

ScreenBookView::~ScreenBookView() = default;

void ScreenBookView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_sources.discover || m_browser)
        return;
    m_browser = std::make_unique<ScreenBrowser>();
    m_browser->followOwnAdvertisement(m_sources.defaults, m_sources.screenName);
    connect(m_browser.get(), &ScreenBrowser::macsChanged, this, [this] {
        m_found.clear();
        for (const DiscoveredScreen& screen : m_browser->macs())
            m_found.append(screen.name);
        m_sources.directory.remember(m_found);
        m_relist.request();
    });
    connect(m_browser.get(), &ScreenBrowser::statusTextChanged, this,
        &ScreenBookView::showDiscoveryStatus);
    m_browser->setRunning(true);
    m_browser->start();
    m_browser->startPathMonitor();
    showDiscoveryStatus();
}

QWidget* ScreenBookView::makeNicknames()
{
    auto* group = new QGroupBox(QStringLiteral("Nicknames"), this);
    auto* column = new QVBoxLayout(group);
    column->addWidget(captionLabel(QStringLiteral("The Send sheet lists a screen by its nickname, "
                                                  "with its own name beside it."),
        group));
    auto* rows = new QWidget(group);
    rows->setObjectName(QStringLiteral("nicknameList"));
    m_nicknameRows = new QVBoxLayout(rows);
    m_nicknameRows->setContentsMargins(0, 0, 0, 0);
    column->addWidget(rows);
    m_discoveryStatus = captionLabel({}, group);
    m_discoveryStatus->setObjectName(QStringLiteral("screenBookStatus"));
    column->addWidget(m_discoveryStatus);
    return group;
}

QWidget* ScreenBookView::makeGroups()
{
    auto* group = new QGroupBox(QStringLiteral("Groups"), this);
    auto* column = new QVBoxLayout(group);
    column->addWidget(captionLabel(
        QStringLiteral("A group is one row in the Send sheet that ticks all of its screens on "
                       "this network at once."),
        group));
    m_groups = new QTreeWidget(group);
    m_groups->setObjectName(QStringLiteral("groupList"));
    m_groups->setAccessibleName(QStringLiteral("Groups"));
    m_groups->setRootIsDecorated(false);
    m_groups->setHeaderLabels({QStringLiteral("Group"), QStringLiteral("Screens")});
    m_groups->header()->setStretchLastSection(true);
    // Room for a few groups; more scroll.
    m_groups->setFixedHeight(m_groups->fontMetrics().height() * 8);
    column->addWidget(m_groups);

    auto* editor = new QGroupBox(QStringLiteral("Make a group, or change the selected one"), group);
    auto* form = new QFormLayout(editor);
    m_groupName = new QLineEdit(editor);
    m_groupName->setObjectName(QStringLiteral("groupName"));
    m_groupName->setAccessibleName(QStringLiteral("Group name"));
    m_groupName->setPlaceholderText(QStringLiteral("Meeting rooms"));
    form->addRow(QStringLiteral("Name:"), m_groupName);
    m_members = new QWidget(editor);
    m_members->setObjectName(QStringLiteral("groupMembers"));
    m_memberRows = new QVBoxLayout(m_members);
    m_memberRows->setContentsMargins(0, 0, 0, 0);
    m_noMembers = captionLabel(
        QStringLiteral("No screen found on this network yet. Screens appear here once this "
                       "computer has seen them."),
        editor);
    m_noMembers->setObjectName(QStringLiteral("noGroupMembers"));
    auto* memberColumn = new QVBoxLayout;
    memberColumn->addWidget(m_members);
    memberColumn->addWidget(m_noMembers);
    form->addRow(QStringLiteral("Screens:"), memberColumn);
    m_groupProblem = settings::problemLabel(QStringLiteral("groupProblem"), editor);
    form->addRow(QString(), m_groupProblem);

    auto* add = new QPushButton(QStringLiteral("Add Group"), editor);
    add->setObjectName(QStringLiteral("addGroup"));
    m_saveGroup = new QPushButton(QStringLiteral("Save Changes"), editor);
    m_saveGroup->setObjectName(QStringLiteral("saveGroup"));
    m_deleteGroup = new QPushButton(QStringLiteral("Delete"), editor);
    m_deleteGroup->setObjectName(QStringLiteral("deleteGroup"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(m_saveGroup);
    buttons->addStretch();
    buttons->addWidget(m_deleteGroup);
    form->addRow(buttons);
    column->addWidget(editor);

    connect(add, &QPushButton::clicked, this, &ScreenBookView::addGroup);
    connect(m_saveGroup, &QPushButton::clicked, this, &ScreenBookView::saveGroup);
    connect(m_deleteGroup, &QPushButton::clicked, this, &ScreenBookView::deleteGroup);
    connect(m_groups, &QTreeWidget::itemSelectionChanged, this, &ScreenBookView::showSelectedGroup);
    return group;
}

QList<ScreenBookView::Screen> ScreenBookView::screens() const
{
    QStringList names = m_sources.directory.knownScreens();
    for (const QString& name : m_found) {
        if (!names.contains(name))
            names.append(name);
    }
    names.removeAll(QString());
    sortByName(names);
    QList<Screen> all;
    for (const QString& name : std::as_const(names))
        all.append({.key = name, .name = name, .symbol = QStringLiteral("display")});
    if (m_sources.remote) {
        for (const RemoteScreen& remote : m_sources.remote->screens()) {
            all.append({.key = ScreenDirectory::remoteKey(remote.id),
                .name = remote.name,
                .detail = remote.url,
                .symbol = QStringLiteral("network")});
        }
    }
    return all;
}

QStringList ScreenBookView::memberChoices() const
{
    QStringList names = m_sources.directory.knownScreens();
    for (const QString& name : m_found) {
        if (!names.contains(name))
            names.append(name);
    }
    if (const std::optional<QUuid> id = selectedGroup()) {
        for (const ScreenGroup& group : m_sources.directory.groups()) {
            if (group.id != *id)
                continue;
            for (const QString& member : group.members) {
                if (!names.contains(member))
                    names.append(member);
            }
        }
    }
    names.removeAll(QString());
    sortByName(names);
    return names;
}

void ScreenBookView::listNicknames()
{
    const QList<Screen> all = screens();
    QStringList keys;
    for (const Screen& screen : all)
        keys.append(screen.key);
    // Rows are kept by screen, so a field being typed in keeps its focus and its text when
    // another screen comes or goes.
    for (auto it = m_rowsByKey.begin(); it != m_rowsByKey.end();) {
        if (keys.contains(it.key())) {
            ++it;
            continue;
        }
        m_nicknameRows->removeWidget(it.value());
        it.value()->hide();
        it.value()->deleteLater();
        it = m_rowsByKey.erase(it);
    }
    QWidget* parent = m_nicknameRows->parentWidget();
    for (const Screen& screen : all) {
        QWidget* row = m_rowsByKey.value(screen.key);
        if (row) {
            m_nicknameRows->removeWidget(row);
            m_nicknameRows->addWidget(row);
            continue;
        }
        row = new QWidget(parent);
        row->setObjectName(QStringLiteral("nicknameRow"));
        row->setProperty(kKeyProperty, screen.key);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* icon = new QLabel(row);
        const int side = icon->fontMetrics().height();
        icon->setPixmap(symbolIcon(screen.symbol, row->palette()).pixmap(side, side));
        line->addWidget(icon);
        // No buddy for the field: a label with one takes "&" in the name for a shortcut key.
        QLabel* name = plainLabel(screen.name, row);
        name->setObjectName(QStringLiteral("nicknameScreen"));
        line->addWidget(name);
        if (!screen.detail.isEmpty()) {
            QLabel* detail = captionLabel(screen.detail, row);
            detail->setWordWrap(false);
            line->addWidget(detail);
        }
        line->addStretch();
        auto* field = new QLineEdit(row);
        field->setObjectName(QStringLiteral("nicknameField"));
        field->setProperty(kKeyProperty, screen.key);
        field->setAccessibleName(QStringLiteral("Nickname for ") + screen.name);
        field->setPlaceholderText(QStringLiteral("Nickname"));
        // One width for every row, so that the fields line up under each other.
        field->setFixedWidth(field->fontMetrics().averageCharWidth() * 28);
        line->addWidget(field);
        connect(field, &QLineEdit::editingFinished, this, [this, field] {
            m_sources.directory.setNickname(
                field->property(kKeyProperty).toString(), field->text());
            field->setText(
                m_sources.directory.nicknames().value(field->property(kKeyProperty).toString()));
        });
        m_rowsByKey.insert(screen.key, row);
        m_nicknameRows->addWidget(row);
    }
    showNicknames();
    showDiscoveryStatus();
}

void ScreenBookView::showNicknames()
{
    const QMap<QString, QString> nicknames = m_sources.directory.nicknames();
    for (QWidget* row : std::as_const(m_rowsByKey)) {
        auto* field = row->findChild<QLineEdit*>(QStringLiteral("nicknameField"));
        // What the user is typing is theirs until they leave the field.
        if (!field->hasFocus())
            field->setText(nicknames.value(row->property(kKeyProperty).toString()));
    }
}

void ScreenBookView::showDiscoveryStatus()
{
    // Once there are screens to name the rows speak for themselves; before, the looking says
    // how it goes, and where a screen is added by hand when it cannot.
    const bool empty = m_rowsByKey.isEmpty();
    QString status;
    if (empty) {
        status = m_browser ? m_browser->statusText()
                           : QStringLiteral("No screen found on this network yet.");
    }
    m_discoveryStatus->setText(status);
    m_discoveryStatus->setVisible(empty);
}

std::optional<QUuid> ScreenBookView::selectedGroup() const
{
    const QList<QTreeWidgetItem*> selected = m_groups->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->data(0, Qt::UserRole).toUuid();
}

void ScreenBookView::listGroups()
{
    const std::optional<QUuid> keep = selectedGroup();
    const std::optional<QUuid> reveal = std::exchange(m_addedGroup, std::nullopt);
    QTreeWidgetItem* added = nullptr;
    bool kept = false;
    {
        const QSignalBlocker quiet(m_groups);
        m_groups->clear();
        for (const ScreenGroup& group : m_sources.directory.groups()) {
            QStringList shown;
            for (const QString& member : group.members)
                shown.append(m_sources.directory.displayName(member, member));
            auto* item
                = new QTreeWidgetItem(m_groups, {group.name, shown.join(QStringLiteral(", "))});
            item->setData(0, Qt::UserRole, group.id);
            item->setIcon(0, symbolIcon(QStringLiteral("person.3"), m_groups->palette()));
            // As rich text, which Qt would not guess for escaped names without markup.
            item->setToolTip(
                1, Qt::convertFromPlainText(shown.join(QStringLiteral(", ")), Qt::WhiteSpaceNormal));
            if (reveal && group.id == *reveal)
                added = item;
            if (keep && group.id == *keep) {
                item->setSelected(true);
                kept = true;
            }
        }
    }
    // The name column is fitted here rather than by the header as it paints: fitting lays out
    // the rows, and a redraw asked for in the middle of painting is lost, so a group added
    // while another was selected was not drawn.
    m_groups->resizeColumnToContents(0);
    // Listed last, below the rows in view once there are a few: unseen, it looks not added.
    if (added)
        m_groups->scrollToItem(added);
    if (keep && !kept) {
        // The group went (deleted here or elsewhere): the form no longer edits it.
        showSelectedGroup();
        return;
    }
    m_saveGroup->setEnabled(kept);
    m_deleteGroup->setEnabled(kept);
    // Screens found meanwhile join the choices; what is ticked and not saved stays ticked.
    listMemberChoices(checkedMembers());
}

void ScreenBookView::showSelectedGroup()
{
    const std::optional<QUuid> id = selectedGroup();
    m_saveGroup->setEnabled(id.has_value());
    m_deleteGroup->setEnabled(id.has_value());
    m_groupProblem->hide();
    QStringList checked;
    QString name;
    if (id) {
        for (const ScreenGroup& group : m_sources.directory.groups()) {
            if (group.id == *id) {
                name = group.name;
                checked = group.members;
            }
        }
    }
    m_groupName->setText(name);
    listMemberChoices(checked);
}

QList<QCheckBox*> ScreenBookView::memberBoxes() const
{
    // From the layout: boxes replaced a moment ago are still children until they are deleted.
    QList<QCheckBox*> boxes;
    for (int i = 0; i < m_memberRows->count(); ++i) {
        if (auto* box = qobject_cast<QCheckBox*>(m_memberRows->itemAt(i)->widget()))
            boxes.append(box);
    }
    return boxes;
}

void ScreenBookView::listMemberChoices(const QStringList& checked)
{
    const QStringList choices = memberChoices();
    QStringList shown;
    for (const QCheckBox* box : memberBoxes())
        shown.append(box->property(kKeyProperty).toString());
    if (shown != choices) {
        while (QLayoutItem* item = m_memberRows->takeAt(0)) {
            if (QWidget* widget = item->widget()) {
                widget->hide();
                widget->deleteLater();
            }
            delete item;
        }
        for (const QString& name : choices) {
            auto* box = new QCheckBox(m_members);
            box->setObjectName(QStringLiteral("groupMember"));
            box->setProperty(kKeyProperty, name);
            m_memberRows->addWidget(box);
        }
    }
    for (QCheckBox* box : memberBoxes()) {
        const QString name = box->property(kKeyProperty).toString();
        const QString label = m_sources.directory.displayName(name, name);
        box->setText(buttonTitle(label));
        box->setAccessibleName(label);
        box->setToolTip(
            label != name ? Qt::convertFromPlainText(name, Qt::WhiteSpaceNormal) : QString());
        box->setChecked(checked.contains(name));
    }
    m_members->setVisible(!choices.isEmpty());
    m_noMembers->setVisible(choices.isEmpty());
}

QStringList ScreenBookView::checkedMembers() const
{
    QStringList members;
    for (const QCheckBox* box : memberBoxes()) {
        if (box->isChecked())
            members.append(box->property(kKeyProperty).toString());
    }
    return members;
}

bool ScreenBookView::acceptGroupName(const QString& name)
{
    const bool blank = name.trimmed().isEmpty();
    m_groupProblem->setText(blank ? QStringLiteral("Give the group a name.") : QString());
    m_groupProblem->setVisible(blank);
    return !blank;
}

void ScreenBookView::addGroup()
{
    if (!acceptGroupName(m_groupName->text()))
        return;
    const QStringList members = checkedMembers();
    m_addedGroup = m_sources.directory.addGroup(m_groupName->text(), members);
    m_groups->clearSelection();
    m_groupName->clear();
    listMemberChoices({});
}

void ScreenBookView::saveGroup()
{
    const std::optional<QUuid> id = selectedGroup();
    if (!id || !acceptGroupName(m_groupName->text()))
        return;
    const QStringList members = checkedMembers();
    m_sources.directory.renameGroup(*id, m_groupName->text());
    m_sources.directory.setGroupMembers(*id, members);
}

void ScreenBookView::deleteGroup()
{
    if (const std::optional<QUuid> id = selectedGroup())
        m_sources.directory.removeGroup(*id);
}

} // namespace vesker
