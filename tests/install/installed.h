#pragma once

// The tree `cmake --install` makes, under /usr in a DESTDIR of the test process's own, and the
// commands the tests read it with.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <utility>

namespace vesker::install {

inline const QString kAppId = QStringLiteral("com.halvane.Vesker");

struct Finished {
    int exitCode = -1;
    QString output;
};

// Standard output and error together.
inline Finished run(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {-1, program + QStringLiteral(" did not finish")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAll())};
}

class Installed : public testing::Test {
protected:
    // Once per test process: as a package installs it, under /usr in DESTDIR.
    static void SetUpTestSuite()
    {
        s_destdir = new QTemporaryDir(QDir::tempPath() + "/vesker-install-XXXXXX");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DESTDIR", s_destdir->path());
        const Finished install
            = run(VESKER_CMAKE, {"--install", VESKER_BUILD_DIR, "--prefix", "/usr"}, env);
        ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();
    }
    static void TearDownTestSuite() { delete std::exchange(s_destdir, nullptr); }

    static QString usr(const QString& relative) { return s_destdir->path() + "/usr/" + relative; }

    static inline QTemporaryDir* s_destdir = nullptr;
};

} // namespace vesker::install
