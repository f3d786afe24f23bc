#pragma once

#include "support/XWindows.h"
#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// One run of the real program on the desktop session's display: its own temporary
// XDG_CONFIG_HOME (and runtime directory), the xcb platform, no session bus (so the tray
// icon docks through XEmbed in the session's trayer). It is ended by its own PID, never by
// name, and reaped; the destructor does that if the test has not.
class CCorvaneProcess {
public:
    explicit CCorvaneProcess(QString strProgram);
    ~CCorvaneProcess();
    CCorvaneProcess(const CCorvaneProcess&) = delete;
    CCorvaneProcess& operator=(const CCorvaneProcess&) = delete;

    // $XDG_CONFIG_HOME/corvane/corvane.conf of this run.
    QString ConfigFile() const;
    bool WriteConfig(const QByteArray& contents) const;
    // A [Settings] file with these keys and values.
    bool WriteSettings(const QMap<QString, int>& values) const;
    // The keys of the file's [Settings] group with their text; empty when there is no file.
    QMap<QString, QString> ReadSettings() const;

    // An environment variable the program starts with (PATH with a stand-in program, a
    // session bus instead of none, ...).
    void SetEnvironment(const QString& name, const QString& value) { m_extraEnv[name] = value; }

    // Starts the program (or `prefix` followed by the program, e.g. ip netns exec NS) and
    // waits until its traffic window is mapped. False, with Output() telling why, otherwise.
    bool Start(const QStringList& prefix = {}, int nTimeoutMs = 15000);
    qint64 Pid() const;
    bool Running() const;
    // Waits for the program to end by itself; false when it is still running at the timeout.
    // nExitCode gets the exit code, or -1 after a crash.
    bool WaitForExit(int nTimeoutMs, int* pExitCode);
    // SIGTERM, then SIGKILL when it does not go; reaped either way.
    void Stop();
    // What the program wrote to stdout and stderr.
    QString Output() const;

    // Every X window the program owns (found by _NET_WM_PID).
    std::vector<XWindowInfo> Windows() const;
    void Signal(int nSignal) const;

    // The traffic window ("Corvane"), mapped or not.
    std::optional<XWindowInfo> TrafficWindow() const;
    // A mapped top-level window of the program with exactly this title.
    std::optional<XWindowInfo> MappedWindow(const QString& name) const;
    // The program's windows that sit inside the notification area's panel.
    std::vector<XWindowInfo> DockedIcons() const;
    // A pop-up menu of the program on the screen.
    std::optional<XWindowInfo> OpenMenu() const;

    // Opens a menu with a right click at `at`, waits for it and picks an item by its
    // mnemonic key. False when no menu came.
    bool PickFromMenu(const QPoint& at, const QString& key) const;

private:
    QString m_strProgram;
    QMap<QString, QString> m_extraEnv;
    std::unique_ptr<QTemporaryDir> m_pHome;
    std::unique_ptr<QProcess> m_pProcess;
};
