#include "fakes/FakeProcessLauncher.h"

ProcessResult CFakeProcessLauncher::Exited(int exitCode, const QByteArray& output)
{
    ProcessResult result;
    result.outcome = ProcessResult::Outcome::Exited;
    result.exitCode = exitCode;
    result.output = output;
    return result;
}

ProcessResult CFakeProcessLauncher::Run(const QString& program, const QStringList& args, int)
{
    calls.push_back({ Kind::Run, program, args });
    const auto it = results.find(program);
    return it == results.end() ? ProcessResult {} : it->second;
}

ProcessResult CFakeProcessLauncher::Launch(const QString& program, const QStringList& args, int)
{
    calls.push_back({ Kind::Launch, program, args });
    const auto it = results.find(program);
    return it == results.end() ? ProcessResult {} : it->second;
}

bool CFakeProcessLauncher::StartDetached(const QString& program, const QStringList& args)
{
    calls.push_back({ Kind::Detached, program, args });
    return detachedStarts;
}
