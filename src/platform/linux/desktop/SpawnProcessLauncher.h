#pragma once

#include <QObject>

#include "platform/IProcessLauncher.h"
#include "platform/linux/FileDescriptor.h"

#include <optional>
#include <sys/types.h>
#include <vector>

// Runs programs with posix_spawnp (PATH is searched, no shell is involved) and watches them
// from the event loop. Programs that LaunchAsync left running, or that were killed at their
// time-out, are reaped by later calls and by the destructor once they have ended; one still
// running when the launcher goes is left to init.
class CSpawnProcessLauncher : public IProcessLauncher {
public:
    CSpawnProcessLauncher() = default;
    CSpawnProcessLauncher(const CSpawnProcessLauncher&) = delete;
    CSpawnProcessLauncher& operator=(const CSpawnProcessLauncher&) = delete;
    ~CSpawnProcessLauncher() override;

    bool StartDetached(const QString& program, const QStringList& args) override;

    void LaunchAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done) override;
    void RunAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done) override;

private:
    struct Child {
        pid_t pid = -1;
        CFileDescriptor output; // the read end of its stdout, when collected
    };

    // Starts the program with stdin from /dev/null and stdout into a pipe (bCollect) or to
    // /dev/null; nothing when it cannot be started.
    static std::optional<Child> Start(
        const QString& program, const QStringList& args, bool bCollect);
    // Watches a started program from the event loop until it ends or its time is up: a
    // collected one is then killed, another left running.
    void Watch(Child child, int nTimeoutMs, const QObject* context,
        std::function<void(const ProcessResult&)> done);
    void StartAsync(const QString& program, const QStringList& args, int nTimeoutMs, bool bCollect,
        const QObject* context, std::function<void(const ProcessResult&)> done);
    void ReapLeftRunning();

    std::vector<pid_t> m_leftRunning;
    // Parent of the timers that watch launched programs: they go with the launcher.
    QObject m_watchers;
};
