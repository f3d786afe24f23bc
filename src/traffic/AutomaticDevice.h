#pragma once

#include <cstdint>
#include <string>

class IConnectionState;
class IPerfDataSource;

// Which interface "Automatic" follows: the one the default route leaves by (IPv4, else IPv6),
// else the first link other than loopback that is up, among the interfaces the counters list.
// Routes and links are asked about only after the kernel reported a change of them, so
// asking on every tick lists nothing.
class CAutomaticDevice {
public:
    CAutomaticDevice(IConnectionState& links, IPerfDataSource& source);

    // Whether routes or links changed since the previous call; true at the first call and
    // after Forget.
    bool Changed();
    // The next Changed says true.
    void Forget() { m_bKnown = false; }

    struct Choice {
        std::string name; // empty when no interface qualifies
        int position = -1; // in a listing made just now
    };
    // The interface to follow now. With none that qualifies: the first one listed when
    // bFirstIfNone is set, else none.
    Choice Choose(bool bFirstIfNone) const;

private:
    IConnectionState& m_links;
    IPerfDataSource& m_source;
    uint64_t m_nGeneration = 0;
    bool m_bKnown = false;
};
