#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How a program run by IProcessLauncher ended.
struct ProcessResult {
    enum class Outcome { NotStarted, Exited, Crashed, TimedOut };
    Outcome outcome = Outcome::NotStarted;
    int exitCode = -1; // when Exited
    QByteArray output; // stdout, when collected; at most IProcessLauncher::kMaxOutput bytes
};

// Starts programs with an argument vector, never through a shell: an argument reaches the
// program as exactly one argv entry, whatever characters it holds.
class IProcessLauncher {
public:
    static constexpr qsizetype kMaxOutput = 64 * 1024;

    virtual ~IProcessLauncher() = default;
    // Waits at most nTimeoutMs for the program to end, collecting its stdout; one still running
    // then is killed.
    virtual ProcessResult Run(const QString& program, const QStringList& args, int nTimeoutMs) = 0;
    // Waits at most nTimeoutMs for the program's exit code; one still running then is left
    // running (xdg-open may have become the browser itself). Its stdout is not collected.
    virtual ProcessResult Launch(const QString& program, const QStringList& args, int nTimeoutMs)
        = 0;
    // Starts the program on its own, not waiting for it and not its parent; true once it runs.
    virtual bool StartDetached(const QString& program, const QStringList& args) = 0;
};
