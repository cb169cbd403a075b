#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace vesker {

// Picks installed applications, several at once: the ones the desktop's menus list, with their
// names and icons from their .desktop files. Answers with the chosen files, in the list's order.
class ApplicationChooserSheet : public QDialog {
    Q_OBJECT
public:
    explicit ApplicationChooserSheet(QWidget* parent = nullptr);

Q_SIGNALS:
    void chosen(const QStringList& desktopFiles);

private:
    QListWidget* m_list = nullptr;
};

} // namespace vesker
