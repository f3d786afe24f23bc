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
    // Neither call waits: the program starts at once and `done` learns how it went from the
    // event loop, at its exit or once nTimeoutMs have passed. No call comes once `context` is
    // destroyed.
    //
    // For the exit code only: a program still running at the time-out is left running
    // (xdg-open may have become the browser itself), and its stdout is not collected.
    virtual void LaunchAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done)
        = 0;
    // For the exit code and stdout: a program still running at the time-out is killed.
    virtual void RunAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done)
        = 0;
    // Starts the program on its own, not waiting for it and not its parent; true once it runs.
    virtual bool StartDetached(const QString& program, const QStringList& args) = 0;
};
