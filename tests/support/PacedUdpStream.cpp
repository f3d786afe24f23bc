#include "support/PacedUdpStream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace {

// A UDP socket bound to address:port (port 0: any), made on a thread inside the namespace
// so that it belongs there; -1 on failure.
int BoundSocket(const CNetworkNamespace& ns, const std::string& address, uint16_t port)
{
    int fd = -1;
    ns.RunInside([&] {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return;
        sockaddr_in local {};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1
            || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            fd = -1;
        }
    });
    return fd;
}

void AddMicroseconds(timespec& t, long us)
{
    t.tv_nsec += us * 1000;
    t.tv_sec += t.tv_nsec / 1000000000;
    t.tv_nsec %= 1000000000;
}

} // namespace

CPacedUdpStream::~CPacedUdpStream()
{
    Stop();
    if (m_sender >= 0)
        ::close(m_sender);
    if (m_sink >= 0)
        ::close(m_sink);
}

bool CPacedUdpStream::Open(const CNetworkNamespace& from, const std::string& fromAddress,
    const CNetworkNamespace& to, const std::string& sinkAddress, uint16_t port)
{
    m_sink = BoundSocket(to, sinkAddress, port);
    m_sender = BoundSocket(from, fromAddress, 0);
    if (m_sink < 0 || m_sender < 0)
        return false;
    sockaddr_in peer {};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    return ::inet_pton(AF_INET, sinkAddress.c_str(), &peer.sin_addr) == 1
        && ::connect(m_sender, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
}

bool CPacedUdpStream::Start(int nPayload, int nPeriodUs)
{
    if (m_sender < 0 || m_thread.joinable() || nPayload < 0 || nPeriodUs <= 0)
        return false;
    m_bStop = false;
    m_thread = std::thread([this, nPayload, nPeriodUs] {
        const std::vector<char> payload(size_t(nPayload), 'c');
        timespec next {};
        ::clock_gettime(CLOCK_MONOTONIC, &next);
        while (!m_bStop) {
            if (::send(m_sender, payload.data(), payload.size(), 0) == ssize_t(payload.size()))
                ++m_nSent;
            // An absolute schedule: a late wake-up does not shift the datagrams after it.
            AddMicroseconds(next, nPeriodUs);
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0
                && !m_bStop) { }
        }
    });
    return true;
}

void CPacedUdpStream::Stop()
{
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}
