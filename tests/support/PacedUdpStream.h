#pragma once

#include "support/NetworkNamespace.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A steady UDP stream between two network namespaces: a sink socket bound in the receiving
// namespace (so no port-unreachable answers travel back) and a sender in the other one that
// sends one datagram every period on a thread of its own, on an absolute schedule.
class CPacedUdpStream {
public:
    CPacedUdpStream() = default;
    ~CPacedUdpStream();
    CPacedUdpStream(const CPacedUdpStream&) = delete;
    CPacedUdpStream& operator=(const CPacedUdpStream&) = delete;

    // Opens the sink on sinkAddress:port inside `to` and the sender inside `from`, bound to
    // fromAddress. False when a socket could not be made.
    bool Open(const CNetworkNamespace& from, const std::string& fromAddress,
        const CNetworkNamespace& to, const std::string& sinkAddress, uint16_t port);
    // Starts sending nPayload bytes of UDP payload every nPeriodUs microseconds.
    bool Start(int nPayload, int nPeriodUs);
    void Stop();
    uint64_t DatagramsSent() const { return m_nSent; }
    // The bytes one datagram occupies in an Ethernet frame: 14 + 20 (IPv4) + 8 (UDP) more.
    static constexpr int kFrameOverhead = 42;

private:
    int m_sink = -1;
    int m_sender = -1;
    std::thread m_thread;
    std::atomic<bool> m_bStop { false };
    std::atomic<uint64_t> m_nSent { 0 };
};
