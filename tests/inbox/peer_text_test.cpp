// Names and texts that peers choose reach the window as text: markup in them is shown as typed,
// never read as rich text (a link that opens, a tag that styles).
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "inbox_window_fixture.h"
#include "support/test_images.h"

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::StringLiterals;

namespace {

const QString kLink = u"<a href=\"https://example.com/x\">Ann</a>"_s;
const QString kBold = u"<b>loud</b>"_s;

// Every place under `root` that would read a peer's `markup` as rich text: a label, or a tooltip
// that holds it unescaped.
QStringList readAsMarkup(const QWidget& root, const QString& markup)
{
    QStringList found;
    QList<const QWidget*> widgets {&root};
    for (const QWidget* child : root.findChildren<QWidget*>())
        widgets.append(child);
    for (const QWidget* widget : widgets) {
        const QString where
            = QString::fromLatin1(widget->metaObject()->className()) + u' ' + widget->objectName();
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            const Qt::TextFormat format = label->textFormat();
            const bool rich = format == Qt::RichText
                || (format == Qt::AutoText && Qt::mightBeRichText(label->text()));
            if (rich && label->text().contains(markup))
                found.append(where + u": "_s + label->text());
        }
        if (widget->toolTip().contains(markup) && Qt::mightBeRichText(widget->toolTip()))
            found.append(where + u" tooltip: "_s + widget->toolTip());
    }
    return found;
}

QByteArray smallPng()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return test::encoded(image, "png");
}

class PeerTextTest : public test::InboxWindowTest { };

} // namespace

TEST_F(PeerTextTest, MarkupInEveryNameAndTextAPeerSendsIsShownAsTyped)
{
    open(u"ask"_s);
    m_defaults.set(u"confirmDelete"_s, true);
    const QList<std::pair<QByteArray, QByteArray>> named {{"x-sender", kLink.toUtf8()},
        {"x-note", kBold.toUtf8()}, {"x-device-name", kLink.toUtf8()},
        {"x-filename", kBold.toUtf8() + ".pdf"}};
    const auto withType = [&](const QByteArray& type, const QByteArray& device) {
        auto headers = named;
        headers.append({"Content-Type", type});
        headers.append({"x-device", device});
        return headers;
    };
    // Held for approval first: the prompt names the device as it named itself.
    http(u"/upload"_s, smallPng(), withType("image/png", "dev-waiting"));
    m_defaults.set(u"accessPolicy"_s, u"anyone"_s);
    ASSERT_EQ(http(u"/upload"_s, smallPng(), withType("image/png", "dev-1")).first, 200);
    ASSERT_EQ(http(u"/file"_s, test::pdfBytes(1), withType("application/pdf", "dev-1")).first, 200);
    ASSERT_EQ(http(u"/text"_s, (kBold + u' ' + kLink).toUtf8(),
                  withType("text/plain; charset=utf-8", "dev-1"))
                  .first,
        200);
    // What the photo's codes and printed text said, and the tags its sender's words became.
    for (const ScreenItem& item : m_store.items()) {
        if (item.kind == ItemKind::photo) {
            m_store.setRecognition(item.id, {u"QR_CODE "_s + kBold}, kLink + u"\nmore text here"_s);
            m_store.setTags({kBold}, item.id);
        }
    }
    QApplication::processEvents();
    ASSERT_EQ(m_view->cardList().items().size(), 3);
    for (const QString& markup : {kLink, kBold})
        EXPECT_EQ(readAsMarkup(*m_view, markup), QStringList()) << markup.toStdString();

    // The delete confirmation of each card names what goes.
    for (const ScreenItem& item : m_view->cardList().items()) {
        QWidget* card = m_view->cardList().cardFor(item.id);
        ASSERT_NE(card, nullptr);
        for (QPushButton* button : card->findChildren<QPushButton*>(u"deleteButton"_s)) {
            if (button->isVisibleTo(card))
                button->click();
        }
        QMessageBox* box = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            for (QMessageBox* shown : m_view->findChildren<QMessageBox*>(u"deleteConfirmation"_s))
                box = shown->isVisible() ? shown : box;
            return box != nullptr;
        }));
        for (const QString& markup : {kLink, kBold})
            EXPECT_EQ(readAsMarkup(*box, markup), QStringList()) << markup.toStdString();
        box->reject();
        QApplication::processEvents();
    }
}
