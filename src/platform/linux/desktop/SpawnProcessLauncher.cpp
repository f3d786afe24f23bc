#include "platform/linux/desktop/SpawnProcessLauncher.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
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

// Reads what a non-blocking pipe holds now; false at its end (or on an error). Reading goes on
// past the kept limit so a talkative program is never blocked on a full pipe.
bool ReadAvailable(int fd, QByteArray& output)
{
    char buffer[4096];
    for (;;) {
        const ssize_t nRead = ::read(fd, buffer, sizeof buffer);
        if (nRead > 0) {
            output.append(
                buffer, std::min<qsizetype>(nRead, IProcessLauncher::kMaxOutput - output.size()));
            continue;
        }
        if (nRead < 0 && errno == EINTR)
            continue;
        return nRead < 0 && errno == EAGAIN;
    }
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
    StartAsync(program, args, nTimeoutMs, false, context, std::move(done));
}

void CSpawnProcessLauncher::RunAsync(const QString& program, const QStringList& args,
    int nTimeoutMs, const QObject* context, std::function<void(const ProcessResult&)> done)
{
    StartAsync(program, args, nTimeoutMs, true, context, std::move(done));
}

void CSpawnProcessLauncher::StartAsync(const QString& program, const QStringList& args,
    int nTimeoutMs, bool bCollect, const QObject* context,
    std::function<void(const ProcessResult&)> done)
{
    ReapLeftRunning();
    std::optional<Child> child = Start(program, args, bCollect);
    if (!child) {
        // The answer still comes from the event loop, as the caller expects it.
        QPointer<const QObject> guard(context);
        QTimer::singleShot(0, &m_watchers, [guard, context, done = std::move(done)] {
            if (!context || guard)
                done(ProcessResult {});
        });
        return;
    }
    Watch(std::move(*child), nTimeoutMs, context, std::move(done));
}

void CSpawnProcessLauncher::Watch(Child child, int nTimeoutMs, const QObject* context,
    std::function<void(const ProcessResult&)> done)
{
    struct State {
        Child child;
        QByteArray output;
        Clock::time_point deadline;
        bool bCollect;
        QPointer<const QObject> guard;
        bool bGuarded;
        std::function<void(const ProcessResult&)> done;
    };
    const bool bCollect = child.output.IsValid();
    auto state = std::make_shared<State>(
        State { std::move(child), {}, Clock::now() + std::chrono::milliseconds(nTimeoutMs),
            bCollect, context, context != nullptr, std::move(done) });
    if (state->child.output.IsValid())
        ::fcntl(state->child.output.Get(), F_SETFL, O_NONBLOCK);
    auto* pTimer = new QTimer(&m_watchers);
    // Polled: a SIGCHLD handler would take the exit of every other child too.
    pTimer->setInterval(25);
    QObject::connect(pTimer, &QTimer::timeout, &m_watchers, [this, pTimer, state] {
        const pid_t pid = state->child.pid;
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        // Read after the look at the child: what it wrote before it ended is in the pipe now.
        if (state->child.output.IsValid()
            && !ReadAvailable(state->child.output.Get(), state->output))
            state->child.output.Reset();
        ProcessResult result;
        if (ended == pid) {
            result = FromStatus(status, std::move(state->output));
        } else if (ended < 0 && errno != EINTR) {
            result.outcome = ProcessResult::Outcome::Crashed; // not ours any more
        } else if (Clock::now() >= state->deadline) {
            result.outcome = ProcessResult::Outcome::TimedOut;
            result.output = std::move(state->output);
            // One whose output was wanted is stopped; either way a later call reaps it.
            if (state->bCollect)
                ::kill(pid, SIGKILL);
            m_leftRunning.push_back(pid);
        } else {
            return;
        }
        pTimer->stop();
        pTimer->deleteLater();
        if (!state->bGuarded || state->guard)
            state->done(result);
    });
    pTimer->start();
}

std::optional<CSpawnProcessLauncher::Child> CSpawnProcessLauncher::Start(
    const QString& program, const QStringList& args, bool bCollect)
{
    // The argument vector in the file-name encoding; a NUL would silently cut an argument.
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(args.size()) + 1);
    encoded.push_back(QFile::encodeName(program));
    for (const QString& arg : args)
        encoded.push_back(QFile::encodeName(arg));
    std::vector<char*> argv;
    for (QByteArray& arg : encoded) {
        if (arg.contains('\0') || (argv.empty() && arg.isEmpty()))
            return std::nullopt;
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int fds[2] = { -1, -1 };
    if (bCollect && ::pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    CFileDescriptor readEnd(fds[0]);
    CFileDescriptor writeEnd(fds[1]);

    CFileActions actions;
    if (!actions.Ok())
        return std::nullopt;
    ::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (bCollect)
        ::posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO);
    else
        ::posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    pid_t pid = -1;
    // glibc reports a program that cannot be executed here, not as an exit code 127.
    if (::posix_spawnp(&pid, argv[0], actions.Get(), nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    return Child { pid, std::move(readEnd) };
}
