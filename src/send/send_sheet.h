#pragma once

#include "send/outgoing_item.h"
#include "send/send_session.h"

#include <QDialog>
#include <QHash>
#include <QPixmap>
#include <QUuid>

#include <functional>
#include <memory>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QWidget;

namespace vesker {

class DestinationList;
class ScreenBrowser;
class RemoteScreensManager;
class ThumbnailLoader;
class Uploader;
class UsageStats;

// The Send sheet: the screens to send to above, the items and their note below, an access-code
// field while a screen asks for one, the status lines of the send, and Cancel and Send. All the
// state lives in a SendSession; closing the sheet cancels whatever is under way.
class SendSheet : public QDialog {
    Q_OBJECT
public:
    // Chooses photos and PDFs to add; tests answer it themselves.
    using FilePicker = std::function<QStringList(QWidget* parent)>;

    struct Services {
        SendSession::Services session; // an Uploader is made when none is given
        // Where this computer's device id is kept (the app-group settings); none: the session's.
        platform::Defaults* deviceSettings = nullptr;
        // Advanced for every item a screen stored, when the sheet makes its own uploader.
        UsageStats* usage = nullptr;
        ThumbnailLoader* thumbnails = nullptr; // none: items show grey squares
        RemoteScreensManager* remote = nullptr; // the screens reached by address
        // Looks for screens on the network while shown; off for tests that feed screens in.
        bool discover = true;
        FilePicker pickFiles; // none: the file dialog
    };

    static constexpr int kThumbnailPixels = 200;
    static constexpr int kCellSize = 80;

    SendSheet(const QList<OutgoingItem>& items, Services services, QWidget* parent = nullptr);
    ~SendSheet() override;

    SendSession& session() const { return *m_session; }
    const QList<OutgoingItem>& items() const { return m_session->items(); }

    void pasteFromClipboard();
    void addPhotos();
    void addFiles(const QList<QUrl>& urls);
    void editItem(const QUuid& id);

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeItemsArea();
    QWidget* makeCodePrompt();
    QWidget* makeFooter();
    QWidget* makeCell(const OutgoingItem& item);
    void rebuildItems();
    void loadThumbnails();
    void applyEdit(const QUuid& id, const QByteArray& bytes);
    void refreshCodePrompt();
    void refreshResults();
    void refreshFooter();

    Services m_services;
    std::unique_ptr<Uploader> m_ownUploader;
    std::unique_ptr<ScreenBrowser> m_browser;
    std::unique_ptr<SendSession> m_session;
    QHash<QUuid, QPixmap> m_thumbs;
    QStringList m_pasteMessage;
    bool m_started = false;

    DestinationList* m_destinations = nullptr;
    QStackedWidget* m_itemsBox = nullptr;
    QHBoxLayout* m_cells = nullptr;
    QLineEdit* m_textField = nullptr;
    QPushButton* m_addText = nullptr;
    QLineEdit* m_noteField = nullptr;
    QWidget* m_codePrompt = nullptr;
    QLabel* m_codeTitle = nullptr;
    QLineEdit* m_codeField = nullptr;
    QWidget* m_resultsBox = nullptr;
    QVBoxLayout* m_resultLines = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_send = nullptr;
};

} // namespace vesker
