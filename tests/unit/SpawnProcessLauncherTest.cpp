#include "platform/linux/SpawnProcessLauncher.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

using Outcome = ProcessResult::Outcome;

const QString kEvil = R"(http://x/$(touch /tmp/pwned);rm -rf ~ "quoted" `id` 'q' *)";
const QString kWriteFirst = QStringLiteral("printf %s \"$1\" > \"$2\"");

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SpawnProcessLauncher, ArgumentsArriveIntactAndNothingIsEvaluated)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("arg");
    CSpawnProcessLauncher launcher;
    const ProcessResult result
        = launcher.Run("/bin/sh", { "-c", kWriteFirst, "sh", kEvil, out }, 10000);
    ASSERT_EQ(result.outcome, Outcome::Exited);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(QString::fromUtf8(ReadAll(out)), kEvil);
    EXPECT_FALSE(QFile::exists("/tmp/pwned"));
}

TEST(SpawnProcessLauncher, DetachedStartGetsTheSameArgument)
{
    QTemporaryDir dir;
    const QString script = dir.filePath("open.sh");
    const QString out = dir.filePath("arg");
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf %s \"$1\" > \"$2.tmp\" && mv \"$2.tmp\" \"$2\"\n");
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    CSpawnProcessLauncher launcher;
    ASSERT_TRUE(launcher.StartDetached(script, { kEvil, out }));
    for (int i = 0; i < 1000 && !QFile::exists(out); ++i)
        QThread::msleep(10);
    EXPECT_EQ(QString::fromUtf8(ReadAll(out)), kEvil);
}

TEST(SpawnProcessLauncher, ReportsExitCodesOutputCrashesTimeoutsAndMissingPrograms)
{
    CSpawnProcessLauncher launcher;
    ProcessResult result = launcher.Run("sh", { "-c", "printf 'web.desktop\\n'; exit 0" }, 10000);
    EXPECT_EQ(result.outcome, Outcome::Exited);
    EXPECT_EQ(result.output, "web.desktop\n");

    result = launcher.Launch("sh", { "-c", "exit 3" }, 10000);
    EXPECT_EQ(result.outcome, Outcome::Exited);
    EXPECT_EQ(result.exitCode, 3);

    result = launcher.Run("sh", { "-c", "kill -9 $$" }, 10000);
    EXPECT_EQ(result.outcome, Outcome::Crashed);

    // More output than is kept, and the program is not blocked by it.
    result = launcher.Run("sh", { "-c", "head -c 300000 /dev/zero" }, 10000);
    EXPECT_EQ(result.outcome, Outcome::Exited);
    EXPECT_EQ(result.output.size(), IProcessLauncher::kMaxOutput);

    result = launcher.Run("sleep", { "30" }, 50);
    EXPECT_EQ(result.outcome, Outcome::TimedOut);
    result = launcher.Launch("sleep", { "30" }, 50);
    EXPECT_EQ(result.outcome, Outcome::TimedOut); // left running, reaped once it ends

    EXPECT_EQ(launcher.Run("corvane-no-such-program", {}, 1000).outcome, Outcome::NotStarted);
    EXPECT_EQ(
        launcher.Run("sh", { QString("a") + QChar(0) + "b" }, 1000).outcome, Outcome::NotStarted);
    EXPECT_FALSE(launcher.StartDetached("corvane-no-such-program", {}));
}

} // namespace
