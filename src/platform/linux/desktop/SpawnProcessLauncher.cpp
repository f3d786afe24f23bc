#include "platform/linux/desktop/SpawnProcessLauncher.h"

#include "platform/linux/FileDescriptor.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

class CFileActions {
public:
    CFileActions() { m_bOk = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    CFileActions(const CFileActions&) = delete;
    CFileActions& operator=(const CFileActions&) = delete;
    ~CFileActions()
    {
        if (m_bOk)
            ::posix_spawn_file_actions_destroy(&m_actions);
    }
    bool Ok() const { return m_bOk; }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
    bool m_bOk = false;
};

int RemainingMs(Clock::time_point deadline)
{
    const auto left
        = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

ProcessResult FromStatus(int status, QByteArray output)
{
    ProcessResult result;
    result.output = std::move(output);
    if (WIFEXITED(status)) {
        result.outcome = ProcessResult::Outcome::Exited;
        result.exitCode = WEXITSTATUS(status);
    } else {
        result.outcome = ProcessResult::Outcome::Crashed;
    }
    return result;
}

} // namespace

CSpawnProcessLauncher::~CSpawnProcessLauncher()
{
    ReapLeftRunning();
}

void CSpawnProcessLauncher::ReapLeftRunning()
{
    std::erase_if(m_leftRunning, [](pid_t pid) {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) != 0; // ended and reaped, or not ours any more
    });
}

ProcessResult CSpawnProcessLauncher::Run(
    const QString& program, const QStringList& args, int nTimeoutMs)
{
    return Spawn(program, args, nTimeoutMs, true);
}

ProcessResult CSpawnProcessLauncher::Launch(
    const QString& program, const QStringList& args, int nTimeoutMs)
{
    return Spawn(program, args, nTimeoutMs, false);
}

bool CSpawnProcessLauncher::StartDetached(const QString& program, const QStringList& args)
{
    ReapLeftRunning();
    // QProcess forks twice, so the program is init's child and never our zombie; it takes the
    // arguments as they are, without a shell.
    return QProcess::startDetached(program, args);
}

void CSpawnProcessLauncher::LaunchAsync(const QString& program, const QStringList& args,
    int nTimeoutMs, const QObject* context, std::function<void(const ProcessResult&)> done)
{
    // A zero wait only starts it: a program that ended at once has its result already.
    ProcessResult started = Spawn(program, args, 0, false);
    QPointer<const QObject> guard(context);
    if (started.outcome != ProcessResult::Outcome::TimedOut || m_leftRunning.empty()) {
        // Not started, or over already: the answer still comes from the event loop, as the
        // caller expects it.
        QTimer::singleShot(0, &m_watchers, [guard, context, done = std::move(done), started] {
            if (!context || guard)
                done(started);
        });
        return;
    }
    const pid_t pid = m_leftRunning.back();
    m_leftRunning.pop_back();
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    auto* pTimer = new QTimer(&m_watchers);
    // Polled: a SIGCHLD handler would take the exit of every other child too.
    pTimer->setInterval(25);
    QObject::connect(pTimer, &QTimer::timeout, &m_watchers,
        [this, pTimer, pid, deadline, guard, context, done = std::move(done)] {
            int status = 0;
            const pid_t ended = ::waitpid(pid, &status, WNOHANG);
            ProcessResult result;
            if (ended == pid) {
                result = FromStatus(status, {});
            } else if (ended < 0 && errno != EINTR) {
                result.outcome = ProcessResult::Outcome::Crashed; // not ours any more
            } else if (Clock::now() >= deadline) {
                result.outcome = ProcessResult::Outcome::TimedOut;
                m_leftRunning.push_back(pid);
            } else {
                return;
            }
            pTimer->stop();
            pTimer->deleteLater();
            if (!context || guard)
                done(result);
        });
    pTimer->start();
}

ProcessResult CSpawnProcessLauncher::Spawn(
    const QString& program, const QStringList& args, int nTimeoutMs, bool bCollect)
{
    ReapLeftRunning();
    const auto deadline = Clock::now() + std::chrono::milliseconds(nTimeoutMs);

    // The argument vector in the file-name encoding; a NUL would silently cut an argument.
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(args.size()) + 1);
    encoded.push_back(QFile::encodeName(program));
    for (const QString& arg : args)
        encoded.push_back(QFile::encodeName(arg));
    std::vector<char*> argv;
    for (QByteArray& arg : encoded) {
        if (arg.contains('\0') || (argv.empty() && arg.isEmpty()))
            return {};
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int fds[2] = { -1, -1 };
    if (bCollect && ::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    CFileDescriptor readEnd(fds[0]);
    CFileDescriptor writeEnd(fds[1]);

    CFileActions actions;
    if (!actions.Ok())
        return {};
    ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (bCollect)
        ::posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO);
    else
        ::posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    pid_t pid = -1;
    // glibc reports a program that cannot be executed here, not as an exit code 127.
    if (::posix_spawnp(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0)
        return {};
    writeEnd.Reset();

    QByteArray output;
    if (bCollect) {
        char buffer[4096];
        for (;;) {
            pollfd pfd { readEnd.Get(), POLLIN, 0 };
            const int nReady = ::poll(&pfd, 1, RemainingMs(deadline));
            if (nReady < 0 && errno == EINTR)
                continue;
            if (nReady <= 0)
                break; // timed out, or poll failed: the wait below decides
            const ssize_t nRead = ::read(readEnd.Get(), buffer, sizeof buffer);
            if (nRead < 0 && errno == EINTR)
                continue;
            if (nRead <= 0)
                break; // end of output
            // Keep reading past the limit so a talkative program is never blocked on a full pipe.
            const qsizetype nKeep = std::min<qsizetype>(nRead, kMaxOutput - output.size());
            output.append(buffer, nKeep);
        }
        readEnd.Reset();
    }

    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return FromStatus(status, std::move(output));
        if (done < 0 && errno != EINTR)
            return {};
        if (RemainingMs(deadline) == 0)
            break;
        ::poll(nullptr, 0, std::min(10, RemainingMs(deadline)));
    }

    ProcessResult result;
    result.outcome = ProcessResult::Outcome::TimedOut;
    result.output = std::move(output);
    if (bCollect) {
        ::kill(pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    } else {
        m_leftRunning.push_back(pid);
    }
    return result;
}
