#pragma once

#include "platform/IProcessLauncher.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

// Answers with a result chosen per program (a program without one is "not started") and
// remembers every call in order. Answers come at once, or, with deferAnswers, only when the
// test calls AnswerNext.
class CFakeProcessLauncher : public IProcessLauncher {
public:
    enum class Kind { Run, Launch, Detached };
    struct Call {
        Kind kind;
        QString program;
        QStringList args;
    };

    bool StartDetached(const QString& program, const QStringList& args) override;
    void LaunchAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done) override;
    void RunAsync(const QString& program, const QStringList& args, int nTimeoutMs,
        const QObject* context, std::function<void(const ProcessResult&)> done) override;

    // Answers the oldest call that waits for its answer; false when there is none.
    bool AnswerNext();

    static ProcessResult Exited(int exitCode, const QByteArray& output = {});

    std::map<QString, ProcessResult> results;
    bool detachedStarts = true;
    bool deferAnswers = false;
    std::vector<Call> calls;

private:
    void Answer(Kind kind, const QString& program, const QStringList& args,
        std::function<void(const ProcessResult&)> done);

    std::vector<std::function<void()>> m_deferred;
};
