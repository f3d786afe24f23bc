// The real program on desktops as users have them: a StatusNotifierItem host, a panel that
// starts late, a window manager, no notification area at all, no display, and a session
// that ends with a signal.

#include "support/DesktopTest.h"
#include "support/XWindows.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Inside the settings dialog: "Enable transparency" (7, 79, 226, 10 units).
const QPoint kTransparencyBox(11 + 20, 128 + 8);

// The tray menu's entries as the StatusNotifierItem host reads them, in order.
struct ExportedMenu {
    QStringList labels; // separators as empty labels
    QList<int> ids;
    int IdOf(const QString& label) const { return ids.value(labels.indexOf(label), -1); }
};

ExportedMenu ReadMenu(const QString& service, const QString& path)
{
    CDesktopSession& session = CDesktopSession::Instance();
    // What a host does before it shows the menu.
    session.CallBus(service, path, { "com.canonical.dbusmenu.AboutToShow", "--", "0" });
    const QString layout = session.CallBus(
        service, path, { "com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "@as []" });
    ExportedMenu menu;
    static const QRegularExpression item(QStringLiteral(R"(<\((\d+), \{([^}]*)\})"));
    static const QRegularExpression label(QStringLiteral(R"('label': <'([^']*)'>)"));
    for (auto it = item.globalMatch(layout); it.hasNext();) {
        const auto m = it.next();
        menu.ids << m.captured(1).toInt();
        menu.labels << label.match(m.captured(2)).captured(1).remove(u'_').remove(u'&');
    }
    return menu;
}

// The program's item as the watcher lists it, and the path of the menu the item exports;
// both empty when no item registered in time.
std::pair<QString, QString> WaitForItem(int nTimeoutMs)
{
    CDesktopSession& session = CDesktopSession::Instance();
    QString registered;
    if (!CDesktopSession::WaitFor(
            [&] {
                registered
                    = session.CallBus("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                        { "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierWatcher",
                            "RegisteredStatusNotifierItems" });
                return registered.contains('\'');
            },
            nTimeoutMs))
        return {};
    // Listed as "service" or "service/path".
    const QString entry = registered.section('\'', 1, 1);
    const QString service = entry.section('/', 0, 0);
    const QString itemPath
        = entry.contains('/') ? "/" + entry.section('/', 1) : "/StatusNotifierItem";
    return { service,
        session
            .CallBus(service, itemPath,
                { "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Menu" })
            .section('\'', 1, 1) };
}

const char* const kNoHost
    = "no StatusNotifierItem host (status-notifier-watcher, gtk-sni-tray-standalone) started";

class SessionDesktopTest : public CDesktopTest {
protected:
    // Puts the program on a private session bus with no notification area on it yet; false
    // when no bus could be started.
    bool OnPrivateBus(CCorvaneProcess& corvane)
    {
        const std::string bus = session.StartSessionBus();
        corvane.SetEnvironment("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString(bus));
        return !bus.empty();
    }
};

struct HostCase {
    const char* name;
    bool bHostFirst; // otherwise the host (the only notification area) starts after the program
    int nItemWithinMs;
};

void PrintTo(const HostCase& c, std::ostream* os)
{
    *os << c.name;
}

class StatusNotifierTest : public SessionDesktopTest,
                           public ::testing::WithParamInterface<HostCase> { };

// At login the program may start from autostart before the panel that hosts its icon.
TEST_P(StatusNotifierTest, HostShowsTheIconWithItsMenuKeptCurrentItsChoicesActAndNoOtherWindow)
{
    CORVANE_REQUIRE_DESKTOP();
    const HostCase& c = GetParam();
    if (!c.bHostFirst)
        session.StopTray();
    else if (session.StartStatusNotifierHost().empty())
        GTEST_SKIP() << kNoHost;
    CCorvaneProcess corvane(CORVANE_BINARY);
    if (!OnPrivateBus(corvane))
        GTEST_SKIP() << "no session bus (dbus-daemon) could be started";
    const qulonglong window = StartAt(corvane, { 300, 200 });
    ASSERT_NE(window, 0u);
    std::vector<XWindowInfo> strays;
    const auto lookForStrays = [&] {
        for (const XWindowInfo& w : corvane.Windows())
            if (w.mapped && w.parent == 0 && w.id != window && !w.overrideRedirect)
                strays.push_back(w);
        return !strays.empty();
    };
    if (!c.bHostFirst) {
        WaitFor(lookForStrays, 3000);
        if (session.StartStatusNotifierHost().empty())
            GTEST_SKIP() << kNoHost;
    }

    // Plain variables: clang's lambdas cannot capture structured bindings.
    const auto item = WaitForItem(c.nItemWithinMs);
    const QString service = item.first, menuPath = item.second;
    ASSERT_FALSE(service.isEmpty())
        << "the icon did not register within " << c.nItemWithinMs << " ms";
    ASSERT_FALSE(menuPath.isEmpty());
    ASSERT_NE(menuPath, "/NO_DBUSMENU") << "the item exports no menu";
    EXPECT_EQ(ReadMenu(service, menuPath).labels,
        QStringList({ "Hide", "Settings", "About", "", "Exit" }));
    WaitFor(lookForStrays, 1000);
    EXPECT_TRUE(strays.empty()) << "a stray window \"" << strays[0].name.toStdString() << "\" at "
                                << strays[0].geometry.x() << "," << strays[0].geometry.y();

    // Hide through the host's menu; the menu then offers Show.
    const auto click = [&](const QString& label) {
        session.CallBus(service, menuPath,
            { "com.canonical.dbusmenu.Event", "--",
                QString::number(ReadMenu(service, menuPath).IdOf(label)), "clicked", "<int32 0>",
                "0" });
    };
    click("Hide");
    EXPECT_TRUE(WaitFor([&] { return !Mapped(window); }, 5000)) << "Hide did not hide the window";
    EXPECT_TRUE(
        WaitFor([&] { return ReadMenu(service, menuPath).labels.value(0) == "Show"; }, 5000))
        << "the menu still reads " << ReadMenu(service, menuPath).labels.join(',').toStdString();

    click("Exit");
    int code = -1;
    ASSERT_TRUE(corvane.WaitForExit(5000, &code)) << "Exit from the host's menu did not end it";
    EXPECT_EQ(code, 0) << corvane.Output().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Hosts, StatusNotifierTest,
    ::testing::Values(HostCase { "host_before_the_program", true, 10000 },
        HostCase { "host_starting_later", false, 2000 }),
    [](const auto& info) { return std::string(info.param.name); });

// The XEmbed tray gets the icon when it starts after the program, without any traffic to
// wake the program, and on a session bus that no StatusNotifierItem host comes to.
TEST_F(SessionDesktopTest, XEmbedTrayGetsTheIconWhenItStartsLaterAndOnABusWithoutAHost)
{
    CORVANE_REQUIRE_DESKTOP();
    for (const bool bOnBus : { false, true }) {
        SCOPED_TRACE(bOnBus ? "session bus without a host" : "panel starting later");
        CCorvaneProcess corvane(CORVANE_BINARY);
        if (!bOnBus)
            session.StopTray();
        else if (!OnPrivateBus(corvane))
            GTEST_SKIP() << "no session bus (dbus-daemon) could be started";
        ASSERT_NE(StartAt(corvane, { 300, 200 }), 0u);
        ASSERT_TRUE(session.StartTray());
        DockedIcon(corvane);
    }
}

struct NoDisplayCase {
    const char* name;
    const char* display; // nullptr: DISPLAY not set; "silent": a server that never answers
    const char* platform; // QT_QPA_PLATFORM; nullptr: not set
    const char* named; // what the message must name
};

void PrintTo(const NoDisplayCase& c, std::ostream* os)
{
    *os << c.name;
}

// An X server's socket (in the abstract namespace, so nothing is left on disk) that accepts
// connections and never answers them.
class CSilentServer {
public:
    CSilentServer()
    {
        // Clear of :4091, which nobody may serve.
        for (int n = 4100 + getpid() % 900; n < 5100 && m_nDisplay < 0; ++n) {
            m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
            std::memcpy(address.sun_path + 1, path.data(), path.size());
            const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size());
            if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0
                && listen(m_fd, 8) == 0)
                m_nDisplay = n;
            else
                close(m_fd);
        }
    }
    ~CSilentServer()
    {
        if (m_nDisplay >= 0)
            close(m_fd);
    }
    QString Display() const { return QStringLiteral(":%1").arg(m_nDisplay); }

private:
    int m_fd = -1;
    int m_nDisplay = -1;
};

class NoDisplayTest : public ::testing::TestWithParam<NoDisplayCase> { };

TEST_P(NoDisplayTest, OneLineNamingTheDisplayAndExitCodeOne)
{
    const NoDisplayCase& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE" })
        env.remove(QString::fromLatin1(name));
    QTemporaryDir runtime;
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    CSilentServer silent;
    QString named = QString::fromLatin1(c.named);
    if (c.display && std::string_view(c.display) == "silent") {
        env.insert("DISPLAY", silent.Display());
        named = '"' + silent.Display() + "\" does not answer";
    } else if (c.display) {
        env.insert("DISPLAY", c.display);
    }
    if (c.platform)
        env.insert("QT_QPA_PLATFORM", c.platform);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(CORVANE_BINARY, {});
    // The program gives up by itself within seconds; this bound only keeps a hang from
    // stalling the suite.
    ASSERT_TRUE(p.waitForFinished(20000)) << "still waiting for a display";
    const QString err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "crashed or aborted: " << err.toStdString();
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_FALSE(err.contains('\n')) << err.toStdString();
    EXPECT_TRUE(err.contains(named)) << err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, NoDisplayTest,
    ::testing::Values(NoDisplayCase { "unset", nullptr, nullptr, "DISPLAY" },
        NoDisplayCase { "nobody_serves_it", ":4091", nullptr, "\":4091\"" },
        NoDisplayCase { "server_never_answers", "silent", nullptr, "" },
        NoDisplayCase {
            "wayland_without_a_compositor", nullptr, "wayland", "Wayland display \"wayland-0\"" },
        NoDisplayCase { "neither_x11_nor_wayland", nullptr, "xcb;wayland", "\"xcb;wayland\"" }),
    [](const auto& info) { return std::string(info.param.name); });

enum class ELock { None, Folder, Held };

struct SignalCase {
    const char* name;
    int nSignal;
    ELock eLock = ELock::None;
    const char* report = nullptr; // the one line on stderr
};

void PrintTo(const SignalCase& c, std::ostream* os)
{
    *os << c.name;
}

class SessionEndTest : public CDesktopTest, public ::testing::WithParamInterface<SignalCase> { };

// With a folder in the lock's place, or a lock another copy holds, the move cannot be stored:
// the end still comes at once (a held lock is waited for one second at most), saying so once.
TEST_P(SessionEndTest, EndsLikeExitStoringAMoveOfTheLastSeconds)
{
    CORVANE_REQUIRE_DESKTOP();
    const SignalCase& c = GetParam();
    CCorvaneProcess corvane(CORVANE_BINARY);
    const QString lock = corvane.ConfigFile() + ".lock";
    QLockFile other(lock);
    ASSERT_TRUE(c.eLock != ELock::Folder || QDir().mkpath(lock));
    ASSERT_TRUE(c.eLock != ELock::Held || other.tryLock(0));
    const qulonglong id = StartAt(corvane, { 300, 200 });
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(MoveWindow(id, { 420, 260 }));
    // Qt learns of the move from the X server; let that reach the program.
    QThread::msleep(300);
    corvane.Signal(c.nSignal);
    int code = -1;
    ASSERT_TRUE(corvane.WaitForExit(2000, &code)) << "still running 2 s after the signal";
    EXPECT_EQ(code, 0) << corvane.Output().toStdString();
    const bool bStored = c.eLock == ELock::None;
    EXPECT_EQ(corvane.ReadSettings().value("rect.left"), bStored ? "420" : "300");
    EXPECT_EQ(corvane.ReadSettings().value("rect.top"), bStored ? "260" : "200");
    if (c.report) {
        EXPECT_EQ(corvane.Output().count(c.report), 1) << corvane.Output().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, SessionEndTest,
    ::testing::Values(SignalCase { "SIGTERM", SIGTERM }, SignalCase { "SIGINT", SIGINT },
        SignalCase { "SIGHUP", SIGHUP },
        SignalCase { "SIGTERM_folder_in_the_locks_place", SIGTERM, ELock::Folder,
            "cannot create the lock file" },
        SignalCase {
            "SIGTERM_lock_held_by_another_copy", SIGTERM, ELock::Held, "another copy holds" }),
    [](const auto& info) { return std::string(info.param.name); });

// The same desktop with and without a window manager.
class WindowManagerTest : public CDesktopTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        if (GetParam() && session.Running() && !session.StartWindowManager())
            GTEST_SKIP() << "openbox did not start";
    }

    static constexpr QPoint kOnWindow { 380, 260 };
    static void DoubleClick(int nDelayMs)
    {
        Xdotool(MoveTo(kOnWindow)
            + QStringList { "click", "--repeat", "2", "--delay", QString::number(nDelayMs), "1" });
    }
};

TEST_P(WindowManagerTest, ClicksActEveryTimeAndDraggingStillMoves)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    const qulonglong id = StartAt(corvane, { 300, 200 });
    ASSERT_NE(id, 0u);
    const QPoint icon = DockedIcon(corvane);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_TRUE(MenuOpens(corvane, kOnWindow, { "click", "1" }))
            << "no menu for a right click right after a left click";
        // A double click with short presses, as a touchpad sends it.
        DoubleClick(40);
        EXPECT_TRUE(WaitFor([&] { return !Mapped(id); }, 3000)) << "the double click was lost";
        session.Click(icon, 1);
        ASSERT_TRUE(WaitFor([&] { return Mapped(id); }, 3000));
    }

    // A window manager's move starts where the pointer is when it takes over: the window
    // moves, by about as far as the pointer went.
    const QPoint before = Describe(id).geometry.topLeft();
    Drag(kOnWindow, { { 400, 270 }, { 440, 300 }, { 460, 320 } });
    QPoint moved;
    EXPECT_TRUE(WaitFor(
        [&] {
            moved = Describe(id).geometry.topLeft() - before;
            return moved.x() >= 40 && moved.y() >= 30;
        },
        5000))
        << "the drag moved the window by " << moved.x() << "," << moved.y();
}

TEST_P(WindowManagerTest, WithoutANotificationAreaTheWindowStaysUntilTheIconShows)
{
    CORVANE_REQUIRE_DESKTOP();
    session.StopTray();
    CCorvaneProcess corvane(CORVANE_BINARY);
    const qulonglong id = StartAt(corvane, { 300, 200 });
    ASSERT_NE(id, 0u);
    DoubleClick(80);
    // The menu that follows shows the double click has been handled.
    EXPECT_TRUE(MenuOpens(corvane, kOnWindow));
    EXPECT_TRUE(Mapped(id)) << "hidden with nothing to bring it back";

    ASSERT_TRUE(session.StartTray());
    DockedIcon(corvane);
    DoubleClick(80);
    EXPECT_TRUE(WaitFor([&] { return !Mapped(id); }, 3000)) << "hiding did not come back";
}

TEST_P(WindowManagerTest, TickingTransparencyKeepsTheFocusInTheSettingsDialog)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    const qulonglong window = StartAt(corvane, { 300, 200 });
    ASSERT_NE(window, 0u);
    const auto dialog = OpenDialog(corvane, DockedIcon(corvane), "s", "Settings");
    ASSERT_TRUE(dialog);
    const auto opacity
        = [&] { return session.XWindows().Values(window, "_NET_WM_WINDOW_OPACITY"); };
    const auto before = opacity();
    session.Click(dialog->geometry.topLeft() + kTransparencyBox, 1);
    ASSERT_TRUE(WaitFor([&] { return opacity() != before; }, 3000)) << "the tick did nothing";
    EXPECT_TRUE(session.XWindows().HasFocus(dialog->id)) << "the focus left the dialog";
    // Escape reaches the dialog only while it has the focus.
    EXPECT_TRUE(EscapeCloses(corvane, "Settings")) << "Escape went nowhere";
}

INSTANTIATE_TEST_SUITE_P(Desktops, WindowManagerTest, ::testing::Bool(),
    [](const auto& info) { return std::string(info.param ? "openbox" : "no_window_manager"); });

TEST_F(SessionDesktopTest, StoredAlphaOutsideAByteIsKeptAsTheAlphaInForceByOk)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_NE(StartAt(corvane, { 300, 200 },
                  { { "Transparent", 1 }, { "TransparencyFocused", 256 + 200 },
                      { "TransparencyUnocused", -1 } }),
        0u);
    const auto dialog = OpenDialog(corvane, DockedIcon(corvane), "s", "Settings");
    ASSERT_TRUE(dialog);
    session.Click(dialog->geometry.topLeft() + kOkCentre, 1);
    EXPECT_TRUE(WaitFor([&] { return corvane.ReadSettings().contains("GraphicScale"); }, 5000));
    EXPECT_EQ(corvane.ReadSettings().value("TransparencyUnocused"), "255");
    EXPECT_EQ(corvane.ReadSettings().value("TransparencyFocused"), "200");
}

TEST_F(SessionDesktopTest, LinkOpensOnlyOnAReleaseOverItAndNeverStopsTheProgram)
{
    CORVANE_REQUIRE_DESKTOP();
    // A stand-in xdg-open that notes each address and then waits, as one waiting on a
    // browser does, until the test lets it go.
    QTemporaryDir bin;
    const QString notes = bin.filePath("opened"), release = bin.filePath("release");
    QFile script(bin.filePath("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(
        QString("#!/bin/sh\necho \"$1\" >> '%1'\n"
                "for i in $(seq 200); do [ -e '%2' ] || [ ! -d '%3' ] && exit 0; sleep 0.1; done\n")
            .arg(notes, release, bin.path())
            .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto lines = [&] {
        QFile f(notes);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
    };

    CCorvaneProcess corvane(CORVANE_BINARY);
    corvane.SetEnvironment("PATH", bin.path() + ":" + qEnvironmentVariable("PATH"));
    ASSERT_NE(StartAt(corvane, { 300, 200 }), 0u);
    const QPoint icon = DockedIcon(corvane);
    const auto about = OpenDialog(corvane, icon, "a", "About Corvane");
    ASSERT_TRUE(about);
    // The link's label: 41, 41, 158, 8 dialog units.
    const QPoint link = about->geometry.topLeft() + QPoint(62 + 30, 67 + 6);
    const QPoint away = about->geometry.topLeft() + QPoint(20, 120);

    session.WaitOutDoubleClick();
    Drag(link, { away });
    // A menu that opens and closes shows the release has been handled.
    EXPECT_TRUE(MenuOpens(corvane, icon));
    EXPECT_EQ(lines(), 0) << "the release away from the link opened it";

    session.Click(link, 1);
    ASSERT_TRUE(WaitFor([&] { return lines() > 0; }, 5000)) << "a click on the link opened nothing";
    // While the opener still runs, the tray menu answers.
    EXPECT_TRUE(MenuOpens(corvane, icon)) << "the program stood still while the link was opened";
    QFile(release).open(QIODevice::WriteOnly);
}

} // namespace
