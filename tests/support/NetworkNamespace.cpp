#include "support/NetworkNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

CNetworkNamespace::CNetworkNamespace(std::string name)
    : m_name(std::move(name))
{
    if (::geteuid() != 0) {
        m_error = "creating network namespaces needs root";
        return;
    }
    // A namespace left behind by an earlier run of the same pid would block the name.
    Run({ "ip", "netns", "del", m_name });
    if (!Run({ "ip", "netns", "add", m_name })) {
        m_error = "`ip netns add " + m_name + "` failed (no iproute2, or not permitted)";
        return;
    }
    m_valid = true;
    bool entered = RunInside([] {});
    if (!entered) {
        m_error = "cannot enter network namespace " + m_name;
        m_valid = false;
    }
}

CNetworkNamespace::~CNetworkNamespace()
{
    Run({ "ip", "netns", "del", m_name });
}

std::string CNetworkNamespace::UniqueName(const std::string& tag)
{
    return "corvane-" + tag + "-" + std::to_string(::getpid());
}

bool CNetworkNamespace::Run(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Expected failures (deleting a namespace that is not there) stay quiet.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool CNetworkNamespace::Ip(const std::vector<std::string>& args) const
{
    std::vector<std::string> argv = { "ip", "-n", m_name };
    argv.insert(argv.end(), args.begin(), args.end());
    return m_valid && Run(argv);
}

bool CNetworkNamespace::RunInside(const std::function<void()>& fn) const
{
    if (!m_valid)
        return false;
    bool entered = false;
    // setns moves only the calling thread, so a short-lived thread keeps the test's own
    // thread where it was.
    std::thread worker([&] {
        const std::string path = "/run/netns/" + m_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        entered = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        if (entered)
            fn();
    });
    worker.join();
    return entered;
}

CNetworkNamespace::CEntered::CEntered(const CNetworkNamespace& ns)
{
    if (!ns.IsValid())
        return;
    m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const std::string path = "/run/netns/" + ns.Name();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_home >= 0 && fd >= 0)
        m_bEntered = ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
}

CNetworkNamespace::CEntered::~CEntered()
{
    if (m_bEntered)
        ::setns(m_home, CLONE_NEWNET);
    if (m_home >= 0)
        ::close(m_home);
}
