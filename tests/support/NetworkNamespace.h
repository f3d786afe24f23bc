#pragma once

#include <functional>
#include <string>
#include <vector>

// A named network namespace made for one test with `ip netns add` and deleted by the
// destructor. Creating one needs root (CAP_SYS_ADMIN); where that is missing IsValid() is
// false and Error() says why, so the test can skip.
class CNetworkNamespace {
public:
    // name should be unique to the test process (use UniqueName).
    explicit CNetworkNamespace(std::string name);
    ~CNetworkNamespace();
    CNetworkNamespace(const CNetworkNamespace&) = delete;
    CNetworkNamespace& operator=(const CNetworkNamespace&) = delete;

    bool IsValid() const { return m_valid; }
    const std::string& Name() const { return m_name; }
    const std::string& Error() const { return m_error; }

    // "corvane-<tag>-<pid>": unique per test process.
    static std::string UniqueName(const std::string& tag);
    // Runs `ip -n <name> args...`; true when it exits with 0.
    bool Ip(const std::vector<std::string>& args) const;
    // Runs fn on a thread that has entered the namespace: sockets and files it opens stay
    // bound to the namespace when used from other threads later. False when the thread
    // could not enter it.
    bool RunInside(const std::function<void()>& fn) const;

    // Runs a program with its arguments (no shell); true when it exits with 0.
    static bool Run(const std::vector<std::string>& argv);

    // Moves the calling thread into the namespace for its lifetime and back where it was
    // after: whatever the thread opens or asks meanwhile (sockets, interface names, routes)
    // belongs to the namespace, as it does for a program started inside one.
    class CEntered {
    public:
        explicit CEntered(const CNetworkNamespace& ns);
        ~CEntered();
        CEntered(const CEntered&) = delete;
        CEntered& operator=(const CEntered&) = delete;
        bool IsValid() const { return m_bEntered; }

    private:
        int m_home = -1;
        bool m_bEntered = false;
    };

private:
    std::string m_name;
    std::string m_error;
    bool m_valid = false;
};
