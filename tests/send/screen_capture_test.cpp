#include "send/capture_overlay_view.h"
#include "send/screen_capture.h"
#include "support/temp_env.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

struct Drag {
    const char* what;
    QList<QPoint> points; // press, moves..., release; none: Esc
    std::optional<QSize> size;
};

} // namespace

TEST(ScreenCapture, WritesTheDraggedAreaAsItLooksWithoutTheCover)
{
    // Captures land in "Vesker" under the temporary folder: this process's own.
    qputenv("TMPDIR", QFile::encodeName(test::testHome()));
    const QDir folder(test::testHome() + QStringLiteral("/Vesker"));

    // Something to capture that the dimmed cover would visibly change.
    QWidget backdrop(nullptr, Qt::FramelessWindowHint);
    backdrop.setPalette(QPalette(QColor(200, 40, 40)));
    backdrop.setAutoFillBackground(true);
    backdrop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    QTest::qWait(200);

    const Drag drags[] = {
        {"down-right", {{40, 60}, {90, 80}, {140, 110}}, QSize(100, 50)},
        {"up-left gives the same box", {{140, 110}, {90, 80}, {40, 60}}, QSize(100, 50)},
        {"too thin", {{40, 60}, {43, 260}}, std::nullopt},
        {"a click", {{40, 60}, {40, 60}}, std::nullopt},
        {"Esc", {}, std::nullopt},
    };
    ScreenCapture capture;
    for (const Drag& drag : drags) {
        SCOPED_TRACE(drag.what);
        const QStringList before = folder.entryList(QDir::Files);
        std::optional<CaptureResult> result;
        capture.captureArea([&](const CaptureResult& done) { result = done; });
        ASSERT_TRUE(capture.overlay() && !capture.overlay()->views().isEmpty());
        CaptureOverlayView* view = capture.overlay()->views().constFirst();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
        if (drag.points.isEmpty()) {
            QTest::keyClick(view, Qt::Key_Escape);
        } else {
            QTest::mousePress(view, Qt::LeftButton, {}, drag.points.constFirst());
            for (qsizetype i = 1; i + 1 < drag.points.size(); ++i)
                QTest::mouseMove(view, drag.points[i]);
            QTest::mouseRelease(view, Qt::LeftButton, {}, drag.points.constLast());
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 5000));
        if (!drag.size) {
            EXPECT_EQ(result->failure, CaptureFailure::cancelled);
            EXPECT_FALSE(result->path);
            EXPECT_EQ(folder.entryList(QDir::Files), before);
            continue;
        }
        ASSERT_TRUE(result->path);
        const QFileInfo file(*result->path);
        EXPECT_TRUE(QRegularExpression(
            QStringLiteral(R"(^Screen \d{4}-\d\d-\d\dT\d\d-\d\d-\d\dZ( \d+)?\.png$)"))
                        .match(file.fileName())
                        .hasMatch())
            << qPrintable(file.fileName());
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        EXPECT_EQ(file.permissions() & (others | QFile::ReadOwner | QFile::WriteOwner),
            QFile::ReadOwner | QFile::WriteOwner);
        const QImage image(*result->path);
        EXPECT_EQ(image.size(), *drag.size);
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(200, 40, 40));
    }
}
