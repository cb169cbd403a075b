// The Access tab's policy and code, as the phones on the network meet them over HTTP.
#include "settings_fixture.h"

#include "access/access_manager.h"

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

namespace vesker::test {

class AccessSettingsTest : public SettingsServicesTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(waitUntilRunning(*m_controller));
        m_window.tabs().setCurrentIndex(2);
        ASSERT_EQ(m_window.tabs().tabText(2), QStringLiteral("Access"));
        m_window.show();
    }

    template <typename T> T* find(const char* name)
    {
        T* widget = m_window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void choose(const QString& policy)
    {
        auto* box = find<QComboBox>("accessPolicyPicker");
        const int index = box->findData(policy);
        ASSERT_GE(index, 0) << qPrintable(policy);
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    QString stored() const { return m_defaults.string(QStringLiteral("accessCode")); }
    QLabel* problem() { return find<QLabel>("accessCodeProblem"); }

    // A reply over the network, as a phone gets it: its status and body.
    std::pair<int, QByteArray> request(const QString& path, std::optional<QByteArray> code = {})
    {
        QNetworkRequest head(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path)));
        std::unique_ptr<QNetworkReply> reply;
        if (path == QLatin1String("/text")) {
            head.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain; charset=utf-8");
            head.setRawHeader("X-Device", "NEW-PHONE");
            if (code)
                head.setRawHeader("X-Code", *code);
            reply.reset(m_network.post(head, QByteArray("Shelf 7731")));
        } else {
            reply.reset(m_network.get(head));
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return reply->isFinished(); }, 10000))
            << qPrintable(path);
        return {
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }
    bool requiresCode()
    {
        const auto [status, body] = request(QStringLiteral("/api/info"));
        EXPECT_EQ(status, 200);
        return QJsonDocument::fromJson(body)[QLatin1String("requiresCode")].toBool();
    }

    SettingsWindow m_window {services()};
    QNetworkAccessManager m_network;
};

TEST_F(AccessSettingsTest, ChoosingTheCodePolicyWithoutACodeMakesOneAndLetsNoNewPhoneIn)
{
    ASSERT_TRUE(stored().isEmpty());
    EXPECT_FALSE(requiresCode());
    choose(QStringLiteral("code"));

    const QString code = stored();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{6}$")).match(code).hasMatch())
        << qPrintable(code);
    EXPECT_EQ(find<QLineEdit>("accessCodeField")->text(), code);
    EXPECT_TRUE(problem()->isHidden());
    EXPECT_TRUE(requiresCode());
    EXPECT_EQ(request(QStringLiteral("/text")).first, 401);
    EXPECT_EQ(request(QStringLiteral("/text"), "000000" == code ? "111111" : "000000").first, 401);
    EXPECT_EQ(request(QStringLiteral("/text"), code.toUtf8()).first, 200);

    // Chosen again, or after another policy, it keeps the code it has.
    choose(QStringLiteral("anyone"));
    choose(QStringLiteral("code"));
    EXPECT_EQ(stored(), code);
}

TEST_F(AccessSettingsTest, TheCodeCannotBeEmptiedWhileTheCodePolicyIsChosen)
{
    choose(QStringLiteral("code"));
    const QString code = stored();
    auto* field = find<QLineEdit>("accessCodeField");
    field->setFocus();
    for (const QString& blank : {QString(), QStringLiteral("   ")}) {
        SCOPED_TRACE(blank.size());
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, blank);
        EXPECT_EQ(stored(), code);
        EXPECT_TRUE(requiresCode());
        EXPECT_EQ(request(QStringLiteral("/text")).first, 401);
        EXPECT_FALSE(problem()->isHidden()) << "the tab says why the code stays";
        EXPECT_TRUE(problem()->text().contains(code)) << qPrintable(problem()->text());
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), code) << "the code that holds comes back";
        EXPECT_TRUE(problem()->isHidden());
    }

    // A new code typed over it replaces it as usual.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("4711"));
    EXPECT_EQ(stored(), "4711");
    EXPECT_EQ(request(QStringLiteral("/text"), "4711").first, 200);

    // Under another policy the code waits, and may be cleared.
    choose(QStringLiteral("anyone"));
    m_controller->access().setAccessCode(QString());
    EXPECT_TRUE(stored().isEmpty());
}

TEST_F(AccessSettingsTest, AHandWrittenCodePolicyWithoutACodeLetsEveryoneInAndTheTabSaysSo)
{
    m_defaults.set(QStringLiteral("accessPolicy"), QStringLiteral("code"));
    EXPECT_TRUE(stored().isEmpty()) << "nothing is mended behind the user's back";
    EXPECT_FALSE(requiresCode());
    EXPECT_EQ(request(QStringLiteral("/text")).first, 200);
    EXPECT_EQ(find<QComboBox>("accessPolicyPicker")->currentData().toString(), "code");
    ASSERT_FALSE(problem()->isHidden());
    EXPECT_TRUE(problem()->text().contains(QStringLiteral("every phone")))
        << qPrintable(problem()->text());

    find<QPushButton>("newCodeButton")->click();
    EXPECT_FALSE(stored().isEmpty());
    EXPECT_TRUE(problem()->isHidden());
    EXPECT_TRUE(requiresCode());
}

} // namespace vesker::test
