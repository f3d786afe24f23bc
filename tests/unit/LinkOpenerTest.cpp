#include "dialogs/LinkOpener.h"
#include "fakes/FakeDataFiles.h"
#include "fakes/FakeProcessLauncher.h"
#include "platform/linux/desktop/SpawnProcessLauncher.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Kind = CFakeProcessLauncher::Kind;

const QString kAddress = "https://corvane.example/";
const QString kEvil = R"(http://x/$(touch /tmp/pwned);rm -rf ~ "quoted")";
const QString kShared = "/usr/share/applications/";

class LinkOpenerTest : public ::testing::Test {
public:
    // xdg-open fails; xdg-mime names web.desktop, which holds the given Exec line.
    void FallBackTo(const QByteArray& exec, const QByteArray& id = "web.desktop")
    {
        launcher.results["xdg-open"] = CFakeProcessLauncher::Exited(3);
        launcher.results["xdg-mime"] = CFakeProcessLauncher::Exited(0, id + "\n");
        files.files[kShared + "web.desktop"]
            = "[Desktop Entry]\nType=Application\nExec=" + exec + "\n";
    }
    // Opens the address the way a click does, without waiting; the fake answers at once.
    int Open(const QString& address)
    {
        int nResult = -1;
        opener.ShellOpenAsync(address, nullptr, [&nResult](int n) { nResult = n; });
        return nResult;
    }
    const CFakeProcessLauncher::Call* Detached() const
    {
        for (const auto& call : launcher.calls) {
            if (call.kind == Kind::Detached)
                return &call;
        }
        return nullptr;
    }

    CFakeProcessLauncher launcher;
    CFakeDataFiles files;
    CLinkOpener opener { launcher, files };
};

TEST_F(LinkOpenerTest, XdgOpenSucceedingIsTheWholeStory)
{
    launcher.results["xdg-open"] = CFakeProcessLauncher::Exited(0);
    EXPECT_GT(Open(kAddress), 32);
    ASSERT_EQ(launcher.calls.size(), 1u);
    EXPECT_EQ(launcher.calls[0].kind, Kind::Launch);
    EXPECT_EQ(launcher.calls[0].args, QStringList { kAddress });
}

TEST_F(LinkOpenerTest, XdgOpenStillRunningCountsAsOpenedWithoutASecondBrowser)
{
    launcher.results["xdg-open"].outcome = ProcessResult::Outcome::TimedOut;
    EXPECT_GT(Open(kAddress), 32);
    EXPECT_EQ(launcher.calls.size(), 1u);
}

TEST_F(LinkOpenerTest, FailingOrMissingXdgOpenFallsBackToTheHtmlHandlerStartedDetached)
{
    for (const bool bMissing : { false, true }) {
        launcher.calls.clear();
        FallBackTo("\"/opt/web/bin/web\" --new-window %u --private");
        if (bMissing)
            launcher.results.erase("xdg-open");
        EXPECT_GT(Open(kAddress), 32);
        ASSERT_EQ(launcher.calls.size(), 3u);
        EXPECT_EQ(launcher.calls[1].program, "xdg-mime");
        EXPECT_EQ(launcher.calls[1].args, QStringList({ "query", "default", "text/html" }));
        const auto* started = Detached();
        ASSERT_TRUE(started);
        EXPECT_EQ(started->program, "/opt/web/bin/web");
        EXPECT_EQ(started->args, QStringList({ "--new-window", kAddress }));
    }
}

TEST_F(LinkOpenerTest, AFailedLookupReportsTheShellsFailureAndStartsNothing)
{
    const struct {
        const char* name;
        std::function<void(LinkOpenerTest&)> arrange;
    } cases[] = {
        { "no default handler",
            [](LinkOpenerTest& t) {
                t.launcher.results["xdg-mime"] = CFakeProcessLauncher::Exited(0, "");
            } },
        { "xdg-mime fails",
            [](LinkOpenerTest& t) {
                t.launcher.results["xdg-mime"] = CFakeProcessLauncher::Exited(4);
            } },
        { "xdg-mime missing", [](LinkOpenerTest& t) { t.launcher.results.erase("xdg-mime"); } },
        { "desktop file missing", [](LinkOpenerTest& t) { t.files.files.clear(); } },
        { "id with a path",
            [](LinkOpenerTest& t) {
                t.launcher.results["xdg-mime"]
                    = CFakeProcessLauncher::Exited(0, "../../etc/web.desktop");
            } },
        { "id not a desktop file",
            [](LinkOpenerTest& t) {
                t.launcher.results["xdg-mime"] = CFakeProcessLauncher::Exited(0, "web");
            } },
        { "broken Exec", [](LinkOpenerTest& t) { t.FallBackTo("web $(id) %u"); } },
        { "unknown field code", [](LinkOpenerTest& t) { t.FallBackTo("web %x"); } },
        { "Exec is only the field code", [](LinkOpenerTest& t) { t.FallBackTo("%u"); } },
        { "no Exec",
            [](LinkOpenerTest& t) {
                t.files.files[kShared + "web.desktop"] = "[Desktop Entry]\nName=Web\n";
            } },
        { "unparseable file",
            [](LinkOpenerTest& t) { t.files.files[kShared + "web.desktop"] = "Exec=web\n"; } },
        { "hidden entry",
            [](LinkOpenerTest& t) {
                t.files.files[kShared + "web.desktop"] = "[Desktop Entry]\nHidden=true\nExec=web\n";
            } },
        { "a link, not an application",
            [](LinkOpenerTest& t) {
                t.files.files[kShared + "web.desktop"] = "[Desktop Entry]\nType=Link\nExec=web\n";
            } },
    };
    for (const auto& c : cases) {
        launcher.calls.clear();
        FallBackTo("web %u");
        c.arrange(*this);
        EXPECT_EQ(Open(kAddress), CLinkOpener::kNoAssociation) << c.name;
        EXPECT_FALSE(Detached()) << c.name;
    }
    // With xdg-open missing too, the result says so.
    launcher.results.clear();
    EXPECT_EQ(Open(kAddress), CLinkOpener::kFileNotFound);
}

TEST_F(LinkOpenerTest, TheDetachedStartFailingIsAFailure)
{
    FallBackTo("web %u");
    launcher.detachedStarts = false;
    EXPECT_LE(Open(kAddress), 32);
}

TEST_F(LinkOpenerTest, AnAddressFullOfShellSyntaxIsOneArgumentEverywhere)
{
    FallBackTo("web \"%u\"");
    EXPECT_GT(Open(kEvil), 32);
    EXPECT_EQ(launcher.calls[0].args, QStringList { kEvil });
    const auto* started = Detached();
    ASSERT_TRUE(started);
    EXPECT_EQ(started->program, "web");
    EXPECT_EQ(started->args, QStringList { kEvil });
}

TEST_F(LinkOpenerTest, AddressesThatWouldReadAsOptionsAreRefused)
{
    for (const QString& address : { QString(), QString("--help"), QString("-P evil") }) {
        launcher.calls.clear();
        EXPECT_LE(Open(address), 32);
        EXPECT_TRUE(launcher.calls.empty());
    }
}

TEST_F(LinkOpenerTest, FindsSubdirectoryIdsAndPrefersTheUsersDataHome)
{
    const ProcessResult query = CFakeProcessLauncher::Exited(0, "vendor-web-beta.desktop\n");
    files.files[kShared + "vendor/web-beta.desktop"] = "[Desktop Entry]\nExec=shared %u\n";
    EXPECT_EQ(opener.HtmlCommandOf(query), QString("shared %u"));
    files.files["/home/u/.local/share/applications/vendor/web/beta.desktop"]
        = "[Desktop Entry]\nExec=mine %u\n";
    EXPECT_EQ(opener.HtmlCommandOf(query), QString("mine %u"));
}

struct ShellCase {
    const char* name;
    QByteArray exec;
    bool bStarted;
};

void PrintTo(const ShellCase& c, std::ostream* os)
{
    *os << c.name;
}

class LinkOpenerShells : public LinkOpenerTest, public ::testing::WithParamInterface<ShellCase> { };

// A shell given the address as its script would run any address as a command.
TEST_P(LinkOpenerShells, NoShellTakesTheAddressAsItsScript)
{
    FallBackTo(GetParam().exec);
    const int nResult = Open(kAddress);
    EXPECT_EQ(Detached() != nullptr, GetParam().bStarted);
    EXPECT_EQ(nResult > 32, GetParam().bStarted);
}

INSTANTIATE_TEST_SUITE_P(Rows, LinkOpenerShells,
    ::testing::Values(ShellCase { "sh_c_browser", "sh -c \"browser %u\"", false },
        ShellCase { "bash_c_address", "/bin/bash -c %u", false },
        ShellCase { "dash_address_as_script_file", "dash %u", false },
        ShellCase { "zsh_options_before_c", "zsh -e -o errexit -lc \"web %u\"", false },
        ShellCase { "sh_after_double_dash", "sh -- %u", false },
        ShellCase { "tcsh_c", "tcsh -c %u", false },
        ShellCase { "env_assignments_then_sh", "env LANG=C A=1 sh -c \"web %u\"", false },
        ShellCase { "env_options_then_bash", "/usr/bin/env -i -u HOME bash -c %u", false },
        ShellCase { "env_split_string", "env -S \"sh -c\" %u", false },
        ShellCase { "env_address_as_program", "env A=1 %u", false },
        ShellCase { "busybox_sh", "busybox sh -c %u", false },
        ShellCase { "sh_script_then_address", "sh /usr/lib/web/launch %u", true },
        ShellCase {
            "bash_c_address_as_parameter", "bash -c \"exec web \\\"\\$1\\\"\" bash %u", true },
        ShellCase { "env_then_browser", "env MOZ_X=1 firefox %u", true },
        ShellCase { "browser_named_like_a_shell", "/opt/shiny/sh-browser %u", true }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkOpenerIds, ReadEachDashAsDashOrFolder)
{
    EXPECT_EQ(CLinkOpener::DesktopIdPaths("web.desktop"), QStringList { "web.desktop" });
    EXPECT_EQ(CLinkOpener::DesktopIdPaths("a-b-c.desktop"),
        QStringList({ "a-b-c.desktop", "a/b-c.desktop", "a-b/c.desktop", "a/b/c.desktop" }));
    EXPECT_EQ(CLinkOpener::DesktopIdPaths("a--b.desktop"),
        QStringList({ "a--b.desktop", "a/-b.desktop", "a-/b.desktop" }));
    EXPECT_EQ(CLinkOpener::DesktopIdPaths("a-b-c-d-e-f-g-h-i-j.desktop")->size(), 1);
    for (const char* bad : { "", ".desktop", "web", "a/b.desktop", "..-x.desktop", "a\nb.desktop" })
        EXPECT_FALSE(CLinkOpener::DesktopIdPaths(bad)) << bad;
}

TEST(LinkOpenerCommand, CutsAtTheFirstFileOrUrlFieldCodeAndAppendsTheAddress)
{
    const QString a = "http://a/";
    const struct {
        const char* exec;
        QStringList argv;
        QString line;
    } cases[] = {
        { "web %u", { "web", a }, "web  " + a },
        { "web \"%u\"", { "web", a }, "web  " + a },
        { "web %U", { "web", a }, "web  " + a },
        { "web \"%F\"", { "web", a }, "web  " + a },
        { "web %f", { "web", a }, "web  " + a },
        { "web", { "web", a }, "web " + a },
        { "web --new", { "web", "--new", a }, "web --new " + a },
        { "web --a %u --dropped \"also dropped\"", { "web", "--a", a }, "web --a  " + a },
        { "web --url=%u --x", { "web", a }, "web  " + a },
        { "web %i %c %k -p 100%% %u", { "web", "-p", "100%", a }, "web %i %c %k -p 100%%  " + a },
        { "web %%u %u", { "web", "%u", a }, "web %%u  " + a },
        { "\"/opt/My Web/web\" %u", { "/opt/My Web/web", a }, "\"/opt/My Web/web\"  " + a },
    };
    for (const auto& c : cases) {
        const auto command = CLinkOpener::BuildFallbackCommand(c.exec, a);
        ASSERT_TRUE(command) << c.exec;
        EXPECT_EQ(command->argv, c.argv) << c.exec;
        EXPECT_EQ(command->commandLine, c.line) << c.exec;
    }
    for (const char* bad : { "web %", "web %z", "%u", "web \"%u", "web;rm %u" })
        EXPECT_FALSE(CLinkOpener::BuildFallbackCommand(bad, a)) << bad;
}

// The real launcher with stand-ins on PATH: xdg-open fails at once, xdg-mime answers only
// once the test's timer has ticked while it runs, and the browser notes the address.
TEST(LinkOpenerReal, TheHandlerLookupRunsWhileTheEventLoopTicks)
{
    QTemporaryDir bin;
    const QString asked = bin.filePath("asked"), release = bin.filePath("release");
    const QString notes = bin.filePath("opened");
    for (const auto& [name, body] : { std::pair<QString, QString>("xdg-open", "exit 3"),
             { "xdg-mime",
                 QString("touch '%1'; while [ ! -e '%2' ]; do sleep 0.02; done; echo web.desktop")
                     .arg(asked, release) },
             { "web", QString("echo \"$1\" > '%1.new' && mv '%1.new' '%1'").arg(notes) } }) {
        QFile script(bin.filePath(name));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\n" + body + "\n").toUtf8());
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    }
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8() + ':' + oldPath);
    CSpawnProcessLauncher launcher;
    CFakeDataFiles files;
    files.files[kShared + "web.desktop"] = "[Desktop Entry]\nExec=web %u\n";
    CLinkOpener opener(launcher, files);
    int nResult = -1;
    opener.ShellOpenAsync(kAddress, nullptr, [&nResult](int n) { nResult = n; });
    // A lookup that held the event loop would see no tick, never be released, and time out.
    int nTicksAsked = 0;
    for (int i = 0; i < 1000 && !QFile::exists(notes); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
        if (QFile::exists(asked) && ++nTicksAsked == 3)
            QFile(release).open(QIODevice::WriteOnly);
    }
    qputenv("PATH", oldPath);
    EXPECT_GT(nResult, 32);
    QFile opened(notes);
    ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
    EXPECT_EQ(opened.readAll(), kAddress.toUtf8() + '\n');
}

} // namespace
