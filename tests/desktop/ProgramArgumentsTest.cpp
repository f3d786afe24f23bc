// --version and --help are answered before any window exists: on standard output, with exit
// code 0, even where no display can be opened.

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <ostream>

namespace {

struct ArgumentsCase {
    const char* name;
    QStringList args;
    const char* pattern; // what standard output must match
    bool fullOutput; // standard output on /dev/full: nothing can be written
    int nExitCode;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const ArgumentsCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProgramArguments : public testing::TestWithParam<ArgumentsCase> { };

TEST_P(ProgramArguments, AnswersWithoutADisplay)
{
    const ArgumentsCase& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    QProcess program;
    program.setProcessEnvironment(env);
    if (c.fullOutput)
        program.setStandardOutputFile("/dev/full");
    program.start(CORVANE_BINARY, c.args);
    ASSERT_TRUE(program.waitForFinished(10000)) << "still running";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), c.nExitCode) << program.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    EXPECT_TRUE(QRegularExpression(c.pattern).match(out).hasMatch()) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgramArguments,
    testing::Values(ArgumentsCase { "version_is_the_project_version", { "--version" },
                        "^corvane " CORVANE_VERSION "\\n$", false, 0 },
        ArgumentsCase { "version_after_an_ignored_argument", { "--sync", "--version" },
            "^corvane " CORVANE_VERSION "\\n$", false, 0 },
        ArgumentsCase { "help", { "--help" }, "^Usage: corvane [\\s\\S]*corvane\\(1\\)", false, 0 },
        ArgumentsCase { "short_help", { "-h" }, "^Usage: corvane ", false, 0 },
        ArgumentsCase { "version_that_cannot_be_written_fails", { "--version" }, "^$", true, 1 }),
    [](const testing::TestParamInfo<ArgumentsCase>& info) { return info.param.name; });

} // namespace
