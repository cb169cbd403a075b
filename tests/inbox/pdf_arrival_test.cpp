// A PDF that arrives shows its first page on its card at once, whatever the layout.
#include "inbox/card_list_view.h"
#include "inbox/content_view.h"
#include "inbox/inbox_state.h"
#include "inbox_window_fixture.h"
#include "support/test_images.h"
#include "ui/thumbnail_view.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace vesker;
using namespace Qt::StringLiterals;

namespace {

class PdfArrivalTest : public test::InboxWindowTest { };

} // namespace

TEST_F(PdfArrivalTest, ANewPdfsCardShowsItsFirstPageInEveryLayout)
{
    for (const char* mode : {"large", "compact"}) {
        SCOPED_TRACE(mode);
        m_defaults.set(QString::fromLatin1(InboxState::kViewMode), QString::fromLatin1(mode));
        if (!m_controller)
            open();
        const auto [status, body] = http(u"/file"_s, test::pdfBytes(2),
            {{"Content-Type", "application/pdf"}, {"x-device", "dev-1"}, {"x-sender", "Ann"}});
        ASSERT_EQ(status, 200) << body.toStdString();
        const QUuid id = QUuid::fromString(QJsonDocument::fromJson(body)["id"_L1].toString());
        ThumbnailView* page = nullptr;
        // Loading gives up after about a second and a half; this waits well past it.
        const bool shown = QTest::qWaitFor(
            [&] {
                QWidget* card = m_view->cardList().cardFor(id);
                page = card ? card->findChild<ThumbnailView*>() : nullptr;
                return page && !page->image().isNull();
            },
            10000);
        ASSERT_TRUE(shown) << (page && page->failed() ? "the placeholder is shown" : "no page");
        // The page is drawn on white.
        EXPECT_EQ(page->image().pixelColor(2, 2), QColor(Qt::white));
    }
}
