#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

class CXWindows;

// A private X display (Xvfb) with a real XEmbed notification area (trayer), started by
// the desktop test binary and stopped by PID, never by name.
class CDesktopSession {
public:
    // The session bus address that names no bus, so that none is started either.
    static constexpr const char* kNoSessionBus = "disabled:";

    static CDesktopSession& Instance();

    bool Start();
    void Stop();
    bool Running() const { return m_xvfbPid > 0; }
    const std::string& Display() const { return m_display; }
    const std::string& Why() const { return m_why; }
    // The display's windows, asked over the session's own connection.
    const CXWindows& XWindows() const { return *m_pXWindows; }

    // The notification area can be stopped and started again to test a tray host restart.
    bool StartTray();
    void StopTray() { Kill(m_trayPid); }
    bool TrayRunning() const { return m_trayPid > 0; }

    // A real window manager on the display (openbox, or KWin without compositing), for tests
    // that must also hold where one manages the windows. False when it did not come up.
    enum class WindowManager { Openbox, KWin };
    bool StartWindowManager(WindowManager wm = WindowManager::Openbox);
    void StopWindowManager();

    // A private session bus without a notification area on it yet. Returns its address,
    // empty when it failed.
    std::string StartSessionBus();
    // A StatusNotifierItem desktop: the private session bus (started when it is not yet) with
    // status-notifier-watcher and gtk-sni-tray-standalone as the host, returning once the host
    // is registered. Returns the bus address, empty when it failed.
    std::string StartStatusNotifierHost();
    // Stops the host and the bus.
    void StopStatusNotifierHost();
    // A method call (`method` then its arguments) on the private bus with gdbus; its answer.
    QString CallBus(const QString& service, const QString& path, const QStringList& method,
        int* exitCode = nullptr) const;

    // Runs a helper program (xdotool, xprop, ...) on this display and returns its stdout.
    QString Run(const QString& program, const QStringList& args, int* exitCode = nullptr,
        int timeoutMs = 10000) const;
    QImage Screenshot() const;
    // Moves the pointer to a screen position and clicks the button there (1 left, 3 right).
    // A click that follows the previous one within the double-click time waits first: two
    // quick clicks on a tray icon are one double click, not two clicks.
    void Click(const QPoint& at, int nButton) const;
    // Waits until a click would no longer count as the second of a double click, and counts
    // the clicks a test sends itself from now on.
    void WaitOutDoubleClick() const;

    // Keeps this process's Qt events flowing while polling for a condition; false when it
    // still does not hold after the timeout.
    static bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = 10000);

private:
    CDesktopSession() = default;
    ~CDesktopSession();
    static void Kill(pid_t& pid);
    // Waits until the program started as pid is ready; false, with it ended, when it ended
    // by itself or was not ready in time.
    bool Ready(pid_t& pid, const std::function<bool()>& ready);
    QByteArray RunForBytes(
        const QString& program, const QStringList& args, int* exitCode, int timeoutMs) const;

    mutable QElapsedTimer m_sinceClick;
    pid_t m_xvfbPid = -1;
    pid_t m_trayPid = -1;
    pid_t m_wmPid = -1;
    pid_t m_busPid = -1;
    pid_t m_watcherPid = -1;
    pid_t m_sniTrayPid = -1;
    std::string m_busAddress;
    std::string m_display;
    std::string m_why;
    std::unique_ptr<CXWindows> m_pXWindows;
};

#define CORVANE_REQUIRE_DESKTOP()                                                                  \
    do {                                                                                           \
        if (!CDesktopSession::Instance().Running())                                                \
            GTEST_SKIP() << "no X server could be started: " << CDesktopSession::Instance().Why(); \
    } while (0)
