#include "support/DesktopSession.h"

#include "support/XWindows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStyleHints>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    posix_spawn_file_actions_adddup2(&actions, devnull, 0);
    posix_spawn_file_actions_adddup2(&actions, devnull, 1);
    posix_spawn_file_actions_adddup2(&actions, devnull, 2);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(devnull);
    return pid;
}

// Starts the program argv(fd) names, which writes a line to descriptor fd (Xvfb its display
// number, dbus-daemon its address); that line, empty when none came within ten seconds.
std::string SpawnForLine(const std::function<std::vector<std::string>(int)>& argv, pid_t& pid)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return {};
    fcntl(fds[1], F_SETFD, 0);
    pid = Spawn(argv(fds[1]));
    close(fds[1]);
    std::string line;
    pollfd p { fds[0], POLLIN, 0 };
    while (pid > 0 && poll(&p, 1, 10000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        line += c;
    }
    close(fds[0]);
    return line;
}

} // namespace

CDesktopSession& CDesktopSession::Instance()
{
    static CDesktopSession session;
    return session;
}

CDesktopSession::~CDesktopSession()
{
    Stop();
}

bool CDesktopSession::Start()
{
    if (Running())
        return true;
    const std::string number = SpawnForLine(
        [](int fd) {
            return std::vector<std::string> { "Xvfb", "-displayfd", std::to_string(fd), "-screen",
                "0", "1024x768x24", "-nolisten", "tcp", "-noreset" };
        },
        m_xvfbPid);
    if (number.empty()) {
        m_why = m_xvfbPid > 0 ? "Xvfb did not start" : "Xvfb is not installed";
        Kill(m_xvfbPid);
        return false;
    }
    m_display = ":" + number;
    setenv("DISPLAY", m_display.c_str(), 1);
    m_pXWindows = std::make_unique<CXWindows>(m_display);
    if (!StartTray()) {
        m_why = "trayer did not start";
        Stop();
        return false;
    }
    return true;
}

bool CDesktopSession::Ready(pid_t& pid, const std::function<bool()>& ready)
{
    const auto ended = [&] {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid)
            pid = -1;
        return pid <= 0;
    };
    if (!WaitFor([&] { return ended() || ready(); }) || pid <= 0) {
        Kill(pid);
        return false;
    }
    return true;
}

bool CDesktopSession::StartTray()
{
    if (m_trayPid > 0)
        return true;
    m_trayPid = Spawn({ "trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
        "--width", "200", "--height", "32", "--SetDockType", "true", "--transparent", "false",
        "--tint", "0x333333" });
    // The notification area takes icons once it owns the screen's tray selection.
    return Ready(
        m_trayPid, [&] { return m_pXWindows->SelectionOwner("_NET_SYSTEM_TRAY_S0") != 0; });
}

bool CDesktopSession::StartWindowManager(WindowManager wm)
{
    if (m_wmPid > 0)
        return true;
    // KWin runs without a session bus and without compositing (no GL work on a shared
    // machine); env hands it that environment and becomes it, so the PID is KWin's.
    m_wmPid = wm == WindowManager::KWin
        ? Spawn({ "env", "KWIN_COMPOSE=N", "DBUS_SESSION_BUS_ADDRESS=disabled:", "kwin_x11" })
        : Spawn({ "openbox", "--sm-disable" });
    // The manager is in charge once it has named itself on the root window.
    return Ready(
        m_wmPid, [&] { return !m_pXWindows->Values(0, "_NET_SUPPORTING_WM_CHECK").empty(); });
}

void CDesktopSession::StopWindowManager()
{
    if (m_wmPid <= 0)
        return;
    Kill(m_wmPid);
    // Leave the root window as a display without a window manager has it: KWin leaves the
    // list of what it supports behind, and Qt would still ask it to move windows.
    for (const char* property : { "_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED" })
        Run("xprop", { "-root", "-remove", property });
}

std::string CDesktopSession::StartSessionBus()
{
    if (m_busPid > 0)
        return m_busAddress;
    const std::string address = SpawnForLine(
        [](int fd) {
            return std::vector<std::string> { "dbus-daemon", "--session", "--nofork", "--nopidfile",
                "--print-address=" + std::to_string(fd) };
        },
        m_busPid);
    if (address.empty()) {
        StopStatusNotifierHost();
        return {};
    }
    m_busAddress = address;
    return m_busAddress;
}

std::string CDesktopSession::StartStatusNotifierHost()
{
    if (m_sniTrayPid > 0)
        return m_busAddress;
    const std::string address = StartSessionBus();
    if (address.empty())
        return {};
    // The host's programs find the private bus through the environment they start with; env
    // becomes each of them, so the PIDs are theirs.
    const std::string onBus = "DBUS_SESSION_BUS_ADDRESS=" + address;
    m_watcherPid = Spawn({ "env", onBus, "status-notifier-watcher" });
    m_sniTrayPid
        = Ready(m_watcherPid,
              [&] {
                  return CallBus("org.freedesktop.DBus", "/org/freedesktop/DBus",
                      { "org.freedesktop.DBus.NameHasOwner", "org.kde.StatusNotifierWatcher" })
                      .contains("true");
              })
        ? Spawn({ "env", onBus, "gtk-sni-tray-standalone" })
        : -1;
    // The host is there once the watcher says so.
    if (!Ready(m_sniTrayPid, [&] {
            return CallBus("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                { "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierWatcher",
                    "IsStatusNotifierHostRegistered" })
                .contains("true");
        })) {
        StopStatusNotifierHost();
        return {};
    }
    return m_busAddress;
}

void CDesktopSession::StopStatusNotifierHost()
{
    Kill(m_sniTrayPid);
    Kill(m_watcherPid);
    Kill(m_busPid);
    m_busAddress.clear();
}

QString CDesktopSession::CallBus(
    const QString& service, const QString& path, const QStringList& method, int* exitCode) const
{
    if (m_busAddress.empty()) {
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    return Run("gdbus",
        QStringList { "call", "--address", QString::fromStdString(m_busAddress), "--dest", service,
            "--object-path", path, "--method" }
            + method,
        exitCode, 5000);
}

void CDesktopSession::Stop()
{
    StopStatusNotifierHost();
    Kill(m_wmPid);
    Kill(m_trayPid);
    m_pXWindows.reset();
    Kill(m_xvfbPid);
}

void CDesktopSession::Kill(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        usleep(20000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

QString CDesktopSession::Run(
    const QString& program, const QStringList& args, int* exitCode, int timeoutMs) const
{
    return QString::fromLocal8Bit(RunForBytes(program, args, exitCode, timeoutMs));
}

QByteArray CDesktopSession::RunForBytes(
    const QString& program, const QStringList& args, int* exitCode, int timeoutMs) const
{
    // DISPLAY is this session's since it started.
    QProcess p;
    p.start(program, args);
    const bool finished = p.waitForFinished(timeoutMs);
    if (!finished) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode)
        *exitCode = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return finished ? p.readAllStandardOutput() : QByteArray();
}

QImage CDesktopSession::Screenshot() const
{
    return QImage::fromData(
        RunForBytes("import", { "-window", "root", "png:-" }, nullptr, 20000), "PNG");
}

void CDesktopSession::WaitOutDoubleClick() const
{
    const qint64 gap = QGuiApplication::styleHints()->mouseDoubleClickInterval() + 150;
    if (m_sinceClick.isValid() && m_sinceClick.elapsed() < gap)
        QThread::msleep(unsigned(gap - m_sinceClick.elapsed()));
    m_sinceClick.start();
}

void CDesktopSession::Click(const QPoint& at, int nButton) const
{
    WaitOutDoubleClick();
    Run("xdotool",
        { "mousemove", QString::number(at.x()), QString::number(at.y()), "click",
            QString::number(nButton) });
    m_sinceClick.start();
}

bool CDesktopSession::WaitFor(const std::function<bool()>& done, int nTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (done())
            return true;
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    return done();
}
