#include "platform/linux/desktop/SpawnProcessLauncher.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace {

using Outcome = ProcessResult::Outcome;

const QString kEvil = R"(http://x/$(touch /tmp/pwned);rm -rf ~ "quoted" `id` 'q' *)";

// Lets the event loop run until `done` holds or about nMs have passed.
bool Until(const std::function<bool()>& done, int nMs)
{
    for (int i = 0; i < nMs / 10 && !done(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return done();
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct AsyncCase {
    const char* name;
    bool bRun; // RunAsync, which collects stdout and kills at the time-out; else LaunchAsync
    QString program;
    QStringList args;
    Outcome outcome;
    int exitCode = 0; // checked when the program exited
    QByteArray output = {}; // never any for LaunchAsync
    qsizetype outputSize = -1; // checked instead of output when not -1
};

void PrintTo(const AsyncCase& c, std::ostream* os)
{
    *os << c.name;
}

class SpawnProcessLauncherAsync : public ::testing::TestWithParam<AsyncCase> { };

TEST_P(SpawnProcessLauncherAsync, AnswersOnceFromTheEventLoop)
{
    const AsyncCase& c = GetParam();
    const int nTimeoutMs = c.outcome == Outcome::TimedOut ? 300 : 10000;
    CSpawnProcessLauncher launcher;
    QObject context;
    std::vector<ProcessResult> answers;
    const auto answer = [&](const ProcessResult& result) { answers.push_back(result); };
    if (c.bRun)
        launcher.RunAsync(c.program, c.args, nTimeoutMs, &context, answer);
    else
        launcher.LaunchAsync(c.program, c.args, nTimeoutMs, &context, answer);
    EXPECT_TRUE(answers.empty()) << "answered before the event loop ran";
    Until([&] { return !answers.empty(); }, nTimeoutMs + 2000);
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].outcome, c.outcome);
    if (c.outcome == Outcome::Exited) {
        EXPECT_EQ(answers[0].exitCode, c.exitCode);
    }
    if (c.outputSize >= 0)
        EXPECT_EQ(answers[0].output.size(), c.outputSize);
    else
        EXPECT_EQ(answers[0].output.toStdString(), c.output.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Cases, SpawnProcessLauncherAsync,
    ::testing::Values(AsyncCase { "launch_exit_code_is_reported", false, "/bin/sh",
                          { "-c", "echo not collected; sleep 0.05; exit 3" }, Outcome::Exited, 3 },
        AsyncCase {
            "launch_still_running_at_the_wait", false, "/bin/sleep", { "0.5" }, Outcome::TimedOut },
        AsyncCase { "missing_program", false, "corvane-no-such-program", {}, Outcome::NotStarted },
        AsyncCase { "argument_with_a_nul", true, "/bin/sh", { QString("a") + QChar(0) + "b" },
            Outcome::NotStarted },
        // Each argument is one argv entry, with nothing in it evaluated.
        AsyncCase { "arguments_arrive_intact", true, "/bin/sh",
            { "-c", "printf %s \"$1\"", "sh", kEvil }, Outcome::Exited, 0, kEvil.toUtf8() },
        AsyncCase { "killed_by_a_signal_is_a_crash", true, "/bin/sh", { "-c", "kill -9 $$" },
            Outcome::Crashed },
        AsyncCase { "run_collects_what_it_wrote_up_to_its_exit", true, "/bin/sh",
            { "-c", "echo web.desktop; sleep 0.05; printf x; exit 4" }, Outcome::Exited, 4,
            "web.desktop\nx" },
        // More output than is kept, and the program is not blocked by it.
        AsyncCase { "run_output_beyond_the_limit_is_cut", true, "/bin/sh",
            { "-c", "head -c 300000 /dev/zero" }, Outcome::Exited, 0, {},
            IProcessLauncher::kMaxOutput },
        AsyncCase { "run_past_its_time_is_killed_with_what_it_wrote", true, "/bin/sh",
            { "-c", "echo partial; exec sleep 30" }, Outcome::TimedOut, 0, "partial\n" }),
    [](const auto& info) { return std::string(info.param.name); });

// At its time-out a launched program goes on (xdg-open may have become the browser); one whose
// output was wanted is killed.
TEST(SpawnProcessLauncher, AtTheTimeOutALaunchGoesOnAndARunIsKilled)
{
    QTemporaryDir dir;
    const QString touchLater = "exec >/dev/null 2>&1; sleep 1; touch \"$0\"";
    CSpawnProcessLauncher launcher;
    int nAnswers = 0;
    const auto answer = [&](const ProcessResult&) { ++nAnswers; };
    launcher.LaunchAsync(
        "/bin/sh", { "-c", touchLater, dir.filePath("launched") }, 50, nullptr, answer);
    launcher.RunAsync("/bin/sh", { "-c", touchLater, dir.filePath("run") }, 50, nullptr, answer);
    EXPECT_TRUE(Until([&] { return QFile::exists(dir.filePath("launched")); }, 5000));
    QThread::msleep(200);
    EXPECT_EQ(nAnswers, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("run")));
}

TEST(SpawnProcessLauncher, AsyncAnswerIsDroppedOnceItsContextIsGone)
{
    CSpawnProcessLauncher launcher;
    int nAnswers = 0;
    {
        QObject context;
        launcher.LaunchAsync("/bin/sh", { "-c", "sleep 0.05" }, 2000, &context,
            [&](const ProcessResult&) { ++nAnswers; });
    }
    Until([] { return false; }, 300);
    EXPECT_EQ(nAnswers, 0);
}

TEST(SpawnProcessLauncher, DetachedStartGetsTheSameArgumentAndFailsForAMissingProgram)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("arg");
    CSpawnProcessLauncher launcher;
    ASSERT_TRUE(launcher.StartDetached("/bin/sh",
        { "-c", "printf %s \"$1\" > \"$2.tmp\" && mv \"$2.tmp\" \"$2\"", "sh", kEvil, out }));
    EXPECT_TRUE(Until([&] { return QFile::exists(out); }, 10000));
    EXPECT_EQ(QString::fromUtf8(ReadAll(out)), kEvil);
    EXPECT_FALSE(launcher.StartDetached("corvane-no-such-program", {}));
}

} // namespace
