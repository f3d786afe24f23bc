#pragma once

#include <QObject>

#include "platform/IProcessLauncher.h"

#include <sys/types.h>
#include <vector>

// Runs programs with posix_spawnp (PATH is searched, no shell is involved). Programs that
// Launch left running are reaped by later calls and by the destructor once they have ended;
// one still running when the launcher goes is left to init.
class CSpawnProcessLauncher : public IProcessLauncher {
public:
    CSpawnProcessLauncher() = default;
    CSpawnProcessLauncher(const CSpawnProcessLauncher&) = delete;
    CSpawnProcessLauncher& operator=(const CSpawnProcessLauncher&) = delete;
    ~CSpawnProcessLauncher() override;

    ProcessResult Run(const QString& program, const QStringList& args, int nTimeoutMs) override;
    ProcessResult Launch(const QString& program, const QStringList& args, int nTimeoutMs) override;
    bool StartDetached(const QString& program, const QStringList& args) override;

    void LaunchAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done) override;

private:
    ProcessResult Spawn(
        const QString& program, const QStringList& args, int nTimeoutMs, bool bCollect);
    void ReapLeftRunning();

    std::vector<pid_t> m_leftRunning;
    // Parent of the timers that watch launched programs: they go with the launcher.
    QObject m_watchers;
};
