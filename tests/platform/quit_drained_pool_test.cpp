#include "platform/quit_drained_pool.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <gtest/gtest.h>

using namespace vesker;

namespace {

constexpr char kChildOutput[] = "VESKER_DRAINED_POOL_OUTPUT";

} // namespace

// Work still running on such a pool when the program leaves main() ends before the process does:
// the quit neither crashes under it nor cuts off what it was writing.
TEST(QuitDrainedPool, WorkStillRunningAtQuitFinishesBeforeTheProcessEnds)
{
    const QString output = qEnvironmentVariable(kChildOutput);
    if (!output.isEmpty()) {
        // The child: hand the pool a slow write and leave at once.
        QThreadPool* pool = platform::makeQuitDrainedPool("test", 1);
        (void)QtConcurrent::run(pool, [output] {
            QThread::msleep(400);
            QFile file(output);
            if (file.open(QIODevice::WriteOnly))
                file.write("finished");
        });
        return;
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString written = dir.filePath(QStringLiteral("written"));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildOutput), written);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
        {QStringLiteral(
            "--gtest_filter=QuitDrainedPool.WorkStillRunningAtQuitFinishesBeforeTheProcessEnds")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    QFile file(written);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the work was cut off by the quit";
    EXPECT_EQ(file.readAll(), "finished");
}
