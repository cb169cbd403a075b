#include "support/temp_env.h"

#ifdef VESKER_WIDGET_TESTS
#include <QApplication>
#endif
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vesker::test {
extern QString g_testHome;
}

int main(int argc, char** argv)
{
    // Every test process gets a home of its own, so nothing reads or writes the real user's
    // files and parallel tests never share settings.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/vesker-test-XXXXXX"));
    if (!home.isValid())
        return 2;
    vesker::test::g_testHome = home.path();
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/.local/share")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/.cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    ::testing::InitGoogleTest(&argc, argv);
#if defined(VESKER_WIDGET_TESTS)
    QApplication app(argc, argv);
#elif defined(VESKER_GUI_TESTS)
    // Painting text (QPainter, fonts) needs a GUI application.
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
