#pragma once

#include "platform/IProcessLauncher.h"

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

// Answers Run and Launch with a result chosen per program (a program without one is "not
// started") and remembers every call in order.
class CFakeProcessLauncher : public IProcessLauncher {
public:
    enum class Kind { Run, Launch, Detached };
    struct Call {
        Kind kind;
        QString program;
        QStringList args;
    };

    ProcessResult Run(const QString& program, const QStringList& args, int nTimeoutMs) override;
    ProcessResult Launch(const QString& program, const QStringList& args, int nTimeoutMs) override;
    bool StartDetached(const QString& program, const QStringList& args) override;
    // Answers at once, as Launch would.
    void LaunchAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject*, std::function<void(const ProcessResult&)> done) override
    {
        done(Launch(program, args, nTimeoutMs));
    }

    static ProcessResult Exited(int exitCode, const QByteArray& output = {});

    std::map<QString, ProcessResult> results;
    bool detachedStarts = true;
    std::vector<Call> calls;
};
