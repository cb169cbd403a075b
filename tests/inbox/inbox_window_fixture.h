// The Inbox window over the real server on 127.0.0.1, in a temporary folder.
#pragma once

#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "platform/permissions.h"
#include "platform/thumbnail_loader.h"
#include "receive/controller_fixture.h"
#include "update/updater.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace vesker::test {

class InboxWindowTest : public ControllerTest {
protected:
    void open(const QString& policy = QStringLiteral("anyone"))
    {
        m_defaults.set(QStringLiteral("accessPolicy"), policy);
        m_defaults.set(QString::fromLatin1(ContentView::kDidShowOnboarding), true);
        m_defaults.set(QStringLiteral("advertiseOnNetwork"), false);
        m_controller = makeController();
        ASSERT_TRUE(waitUntilRunning(*m_controller));
        showView();
    }

    // A new Inbox window over the same server and settings, managed by `windows` when given.
    void showView(WindowManager* windows = nullptr)
    {
        m_view.reset();
        m_view = std::make_unique<ContentView>(ContentViewServices {.store = m_store,
            .server = *m_controller,
            .defaults = m_defaults,
            .clock = m_clock,
            .thumbnails = m_thumbnails,
            .updater = m_updater,
            .permissions = m_permissions,
            .windows = windows});
        m_view->resize(900, 700);
        m_view->show();
    }

    // The item whose card holds the keyboard focus; none when no card holds it.
    QUuid focusedItem() const
    {
        const QWidget* focus = QApplication::focusWidget();
        for (const ScreenItem& item : m_view->cardList().items()) {
            const QWidget* card = m_view->cardList().cardFor(item.id);
            if (focus && card && card->isAncestorOf(focus))
                return item.id;
        }
        return {};
    }

    // The reply's status and body; the server answers on its own thread, so the loop runs.
    std::pair<int, QByteArray> http(const QString& path, const QByteArray& body = {},
        const QList<std::pair<QByteArray, QByteArray>>& headers = {})
    {
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path)));
        for (const auto& [name, value] : headers)
            request.setRawHeader(name, value);
        QNetworkReply* reply = body.isNull() ? m_http.get(request) : m_http.post(request, body);
        EXPECT_TRUE(QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000));
        reply->deleteLater();
        return {
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }

    Updater m_updater {m_defaults, m_clock, {.manifestUrl = QUrl()}};
    ThumbnailLoader m_thumbnails {1};
    Permissions m_permissions;
    QNetworkAccessManager m_http;
    std::unique_ptr<ServerController> m_controller;
    std::unique_ptr<ContentView> m_view;
};

} // namespace vesker::test
