#include "platform/linux/desktop/SpawnProcessLauncher.h"

#include <QCoreApplication>
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

TEST(SpawnProcessLauncher, DetachedStartGetsTheSameArgumentAndFailsForAMissingProgram)
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
    EXPECT_FALSE(launcher.StartDetached("corvane-no-such-program", {}));
}

struct OutcomeCase {
    const char* name;
    bool bLaunch; // Launch instead of Run
    const char* program;
    QStringList args;
    int nTimeoutMs;
    Outcome outcome;
    int exitCode = -1; // checked when the program exited
    QByteArray output = {}; // checked when Run collected it
    qsizetype outputSize = -1; // checked instead of output when not -1
};

class SpawnProcessLauncherOutcome : public ::testing::TestWithParam<OutcomeCase> { };

TEST_P(SpawnProcessLauncherOutcome, ReportsHowTheProgramEnded)
{
    const OutcomeCase& c = GetParam();
    CSpawnProcessLauncher launcher;
    const ProcessResult result = c.bLaunch ? launcher.Launch(c.program, c.args, c.nTimeoutMs)
                                           : launcher.Run(c.program, c.args, c.nTimeoutMs);
    ASSERT_EQ(result.outcome, c.outcome);
    if (c.outcome == Outcome::Exited) {
        EXPECT_EQ(result.exitCode, c.exitCode);
    }
    if (c.outputSize >= 0) {
        EXPECT_EQ(result.output.size(), c.outputSize);
    } else if (!c.bLaunch) {
        EXPECT_EQ(result.output, c.output);
    }
}

// A program Launch leaves running keeps the test's stderr open, which holds ctest until it
// ends: the one timed out here lets go of its output first and ends soon after.
INSTANTIATE_TEST_SUITE_P(Cases, SpawnProcessLauncherOutcome,
    ::testing::Values(OutcomeCase { "output_is_collected", false, "sh",
                          { "-c", "printf 'web.desktop\\n'; exit 0" }, 10000, Outcome::Exited, 0,
                          "web.desktop\n" },
        OutcomeCase {
            "exit_code_is_reported", true, "sh", { "-c", "exit 3" }, 10000, Outcome::Exited, 3 },
        OutcomeCase { "killed_by_a_signal_is_a_crash", false, "sh", { "-c", "kill -9 $$" }, 10000,
            Outcome::Crashed },
        // More output than is kept, and the program is not blocked by it.
        OutcomeCase { "output_beyond_the_limit_is_cut", false, "sh",
            { "-c", "head -c 300000 /dev/zero" }, 10000, Outcome::Exited, 0, {},
            IProcessLauncher::kMaxOutput },
        OutcomeCase {
            "run_past_its_time_is_killed", false, "sleep", { "30" }, 50, Outcome::TimedOut },
        OutcomeCase { "launch_past_its_time_is_left_running", true, "sh",
            { "-c", "exec >/dev/null 2>&1; sleep 1" }, 50, Outcome::TimedOut },
        OutcomeCase {
            "missing_program", false, "corvane-no-such-program", {}, 1000, Outcome::NotStarted },
        OutcomeCase { "argument_with_a_nul", false, "sh", { QString("a") + QChar(0) + "b" }, 1000,
            Outcome::NotStarted }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

struct AsyncCase {
    const char* name;
    QString program;
    QStringList args;
    Outcome outcome;
    int exitCode;
    bool bRun = false; // RunAsync, which collects stdout and kills at the time-out
    QByteArray output = {};
};

void PrintTo(const AsyncCase& c, std::ostream* os)
{
    *os << c.name;
}

class SpawnProcessLauncherAsync : public ::testing::TestWithParam<AsyncCase> { };

// The answer comes from the event loop, once, with the same outcomes as a waited launch.
TEST_P(SpawnProcessLauncherAsync, AnswersOnceFromTheEventLoop)
{
    const AsyncCase& c = GetParam();
    CSpawnProcessLauncher launcher;
    QObject context;
    std::vector<ProcessResult> answers;
    const auto answer = [&](const ProcessResult& result) { answers.push_back(result); };
    if (c.bRun)
        launcher.RunAsync(c.program, c.args, 300, &context, answer);
    else
        launcher.LaunchAsync(c.program, c.args, 300, &context, answer);
    EXPECT_TRUE(answers.empty()) << "answered before the event loop ran";
    for (int i = 0; i < 200 && answers.empty(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].outcome, c.outcome);
    if (c.outcome == Outcome::Exited) {
        EXPECT_EQ(answers[0].exitCode, c.exitCode);
    }
    EXPECT_EQ(answers[0].output.toStdString(), c.output.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Cases, SpawnProcessLauncherAsync,
    ::testing::Values(
        AsyncCase { "exits_0", "/bin/sh", { "-c", "sleep 0.05" }, Outcome::Exited, 0 },
        AsyncCase { "exits_3", "/bin/sh", { "-c", "exit 3" }, Outcome::Exited, 3 },
        AsyncCase { "still_running_at_the_wait", "/bin/sleep", { "0.5" }, Outcome::TimedOut, 0 },
        AsyncCase { "no_such_program", "/nonexistent/xdg-open", {}, Outcome::NotStarted, 0 },
        AsyncCase { "run_collects_what_it_wrote_up_to_its_exit", "/bin/sh",
            { "-c", "echo web.desktop; sleep 0.05; printf x; exit 4" }, Outcome::Exited, 4, true,
            "web.desktop\nx" },
        AsyncCase { "run_past_its_time_is_killed_with_what_it_wrote", "/bin/sh",
            { "-c", "echo partial; exec sleep 30" }, Outcome::TimedOut, 0, true, "partial\n" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpawnProcessLauncher, AsyncAnswerIsDroppedOnceItsContextIsGone)
{
    CSpawnProcessLauncher launcher;
    int nAnswers = 0;
    {
        QObject context;
        launcher.LaunchAsync("/bin/sh", { "-c", "sleep 0.05" }, 2000, &context,
            [&](const ProcessResult&) { ++nAnswers; });
    }
    for (int i = 0; i < 30; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    EXPECT_EQ(nAnswers, 0);
}

} // namespace
