#pragma once

#include "platform/linux/FileDescriptor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The program's one way to the kernel's routing netlink: a request socket for dumps, kept
// open and shared by everything that asks (one request at a time, the program has one
// thread), and a second socket subscribed to link events, drained without waiting. Both
// belong to the network namespace of the thread that constructed the client. Every walk
// over received bytes is bounds-checked: anyone who can send to the socket shapes them.
class CNetlinkClient {
public:
    enum class DumpState { More, Done, Failed };

    // withLinkEvents false leaves out the subscription, for a client asked only once.
    explicit CNetlinkClient(bool withLinkEvents = true);

    bool IsValid() const { return m_socket.IsValid(); }

    // Numbers the request (its header leads), sends it to the kernel and hands every
    // datagram of the answer to chunk(data, size, seq) until it says the answer ended (the
    // end of a dump, or the one message that answers any other request).
    // recvFlags MSG_DONTWAIT gives up rather than wait for a datagram. False when the
    // kernel could not be asked, a datagram did not fit or chunk says the dump failed.
    // Left-overs of a dump given up carry an older number, which the walkers skip.
    template <class Chunk> bool Dump(void* request, size_t length, int recvFlags, Chunk&& chunk)
    {
        if (!Send(request, length))
            return false;
        for (int n = 0; n < kMaxChunks; ++n) {
            size_t size = 0;
            if (!Receive(recvFlags, size))
                return false;
            const DumpState state = chunk(m_receive.data(), size, m_seq);
            if (state != DumpState::More)
                return state == DumpState::Done;
        }
        return false;
    }

    // A count that moves on whenever links were added, removed, renamed or changed state
    // (or events were lost) since anyone last asked; each reader keeps the value it last
    // saw. Without a subscription it moves on at every call, so readers dump every time.
    uint64_t LinkGeneration();
    bool HasLinkEvents() const { return m_events.IsValid(); }
    // The same count, moving on for routes added, removed or changed as well, from the first
    // call on: the route events are asked for then, on the socket the link events come by.
    // Without them it moves on at every call, and only this count does.
    uint64_t RouteGeneration();

    // A request of one message: its header, then the family's own header (and attributes).
    template <class Body> struct Request {
        nlmsghdr header;
        Body body;
    };
    // Zeroed but for the header's length, type and flags; the number comes with Dump.
    template <class Body> static Request<Body> NewRequest(uint16_t type, uint16_t flags)
    {
        Request<Body> request {};
        request.header.nlmsg_len = sizeof request;
        request.header.nlmsg_type = type;
        request.header.nlmsg_flags = flags;
        return request;
    }

    template <class T> static T Load(const uint8_t* p)
    {
        T value;
        std::memcpy(&value, p, sizeof value);
        return value;
    }

    // Walks the netlink messages of one datagram; calls body(type, payload, size) for each
    // message of sequence seq that is not the end or an error, and sets interrupted when
    // the kernel marks the dump as inconsistent. A message that does not fit the bytes
    // fails the dump.
    template <class Body>
    static DumpState EachMessage(
        const uint8_t* data, size_t size, uint32_t seq, bool& interrupted, Body&& body)
    {
        int error = 0;
        return EachMessage(data, size, seq, interrupted, error, body);
    }

    // The same; an error message also leaves the kernel's error number in error (positive;
    // EPROTO when the message carries none the kernel could have sent).
    template <class Body>
    static DumpState EachMessage(
        const uint8_t* data, size_t size, uint32_t seq, bool& interrupted, int& error, Body&& body)
    {
        size_t pos = 0;
        while (size - pos >= sizeof(nlmsghdr)) {
            const nlmsghdr header = Load<nlmsghdr>(data + pos);
            if (header.nlmsg_len < NLMSG_HDRLEN || header.nlmsg_len > size - pos)
                return DumpState::Failed;
            const uint8_t* payload = data + pos + NLMSG_HDRLEN;
            const size_t payloadSize = header.nlmsg_len - NLMSG_HDRLEN;
            const size_t step = NLMSG_ALIGN(header.nlmsg_len);
            pos += step < size - pos ? step : size - pos;
            if (header.nlmsg_seq != seq)
                continue;
            if (header.nlmsg_flags & NLM_F_DUMP_INTR)
                interrupted = true;
            if (header.nlmsg_type == NLMSG_DONE)
                return DumpState::Done;
            if (header.nlmsg_type == NLMSG_ERROR) {
                const int code = payloadSize >= sizeof(int) ? Load<int>(payload) : 0;
                error = code < 0 && code > -4096 ? -code : EPROTO;
                return DumpState::Failed;
            }
            body(header.nlmsg_type, payload, payloadSize);
        }
        return DumpState::More;
    }

    // Calls attribute(type, payload, size) for each attribute that lies wholly inside the
    // bytes; stops at the first that does not.
    template <class Fn> static void EachAttribute(const uint8_t* data, size_t size, Fn&& attribute)
    {
        size_t at = 0;
        while (at < size && size - at >= sizeof(rtattr)) {
            const rtattr attr = Load<rtattr>(data + at);
            if (attr.rta_len < sizeof(rtattr) || attr.rta_len > size - at)
                return;
            attribute(
                attr.rta_type, data + at + RTA_LENGTH(0), size_t(attr.rta_len - RTA_LENGTH(0)));
            at += RTA_ALIGN(attr.rta_len);
        }
    }

private:
    // A machine's links and routes fit in a few datagrams; a dump longer than this is not
    // trusted.
    static constexpr int kMaxChunks = 4096;

    bool Send(void* request, size_t length);
    // One datagram from the kernel into m_receive.
    bool Receive(int flags, size_t& size);

    CFileDescriptor m_socket;
    CFileDescriptor m_events;
    uint32_t m_seq = 0;
    uint64_t m_generation = 0;
    bool m_bRouteEvents = false;
    uint64_t m_nUnheardRoutes = 0;
    std::vector<uint8_t> m_receive;
};
