#pragma once

#include "platform/IPerfDataSource.h"
#include "traffic/PerfBlock.h"

#include <cstdint>
#include <string>

// Follows the interface the user chose and reads its bytes received and sent with one query
// and one walk of the block: one reading a tick serves both graphs. It has the source watch
// the link it follows, so a source that reads one link's counters reads that one.
//
// The interface is known by its name and, where the source gives one, by the kernel's index
// of the link (the instance's unique id). A link that is renamed keeps its index and is
// followed under its new name; one that goes down and up stays in the list and goes on
// counting; one deleted and made again under the same name is a new link and starts afresh.
// While the interface is absent nothing is counted and its name is kept.
class CInterfaceMeter {
public:
    enum class Reading {
        Counted, // received and sent hold the bytes since the previous reading
        Primed, // found afresh: the next reading measures from now
        Absent, // no interface of that name (or none chosen)
        Failed, // the block could not be read or lacks the byte counters
    };

    explicit CInterfaceMeter(IPerfDataSource& source);

    // Follows this interface from now on; the next reading only primes.
    void Choose(std::string name);
    // The chosen interface's name: renamed along with the link.
    const std::string& Name() const { return m_strName; }
    // Whether the last reading found the interface.
    bool IsPresent() const { return m_bPresent; }

    // Bytes received and sent since the previous reading; both 0 unless Counted.
    Reading Read(double& received, double& sent);

private:
    // One query and one walk (none while the block keeps the layout of the one the link was
    // last found in). unread: the link was found without counters; the caller may ask the
    // source to watch it and take again.
    Reading Take(double& received, double& sent, bool& unread);
    // Reads the counters at m_place.
    Reading Count(const CPerfBlock& block, double& received, double& sent, bool& unread);

    // Where the link was last found, and in a block of what layout.
    struct Place {
        uint64_t layout = IPerfDataSource::kNoLayout;
        CPerfBlock::Pos instance = CPerfBlock::kNone;
        CPerfBlock::Counter rx, tx;
    };

    IPerfDataSource* m_pSource;
    std::string m_strName;
    uint32_t m_nId; // kernel index of the link last read; none before it is found
    bool m_bPrimed = false;
    bool m_bPresent = false;
    uint64_t m_prevReceived = 0;
    uint64_t m_prevSent = 0;
    Place m_place;
};
