#include "fakes/FakeProcessLauncher.h"

ProcessResult CFakeProcessLauncher::Exited(int exitCode, const QByteArray& output)
{
    ProcessResult result;
    result.outcome = ProcessResult::Outcome::Exited;
    result.exitCode = exitCode;
    result.output = output;
    return result;
}

bool CFakeProcessLauncher::StartDetached(const QString& program, const QStringList& args)
{
    calls.push_back({ Kind::Detached, program, args });
    return detachedStarts;
}

void CFakeProcessLauncher::Answer(Kind kind, const QString& program, const QStringList& args,
    std::function<void(const ProcessResult&)> done)
{
    calls.push_back({ kind, program, args });
    const auto it = results.find(program);
    const ProcessResult result = it == results.end() ? ProcessResult {} : it->second;
    if (!deferAnswers) {
        done(result);
        return;
    }
    m_deferred.push_back([result, done = std::move(done)] { done(result); });
}

void CFakeProcessLauncher::LaunchAsync(const QString& program, const QStringList& args, int,
    const QObject*, std::function<void(const ProcessResult&)> done)
{
    Answer(Kind::Launch, program, args, std::move(done));
}

void CFakeProcessLauncher::RunAsync(const QString& program, const QStringList& args, int,
    const QObject*, std::function<void(const ProcessResult&)> done)
{
    Answer(Kind::Run, program, args, std::move(done));
}

bool CFakeProcessLauncher::AnswerNext()
{
    if (m_deferred.empty())
        return false;
    const std::function<void()> answer = std::move(m_deferred.front());
    m_deferred.erase(m_deferred.begin());
    answer();
    return true;
}
