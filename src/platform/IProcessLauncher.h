#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class QObject;

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
    // Launch without waiting: the program starts at once and `done` learns how it went from
    // the event loop, at its exit or at the time-out (then it is left running). No call comes
    // once `context` is destroyed.
    virtual void LaunchAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done)
        = 0;
    // Run without waiting: the same answer as Run's, stdout included, from the event loop.
    virtual void RunAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done)
        = 0;
    // Starts the program on its own, not waiting for it and not its parent; true once it runs.
    virtual bool StartDetached(const QString& program, const QStringList& args) = 0;
};
