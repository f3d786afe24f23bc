#include "support/NetlinkDumpBuilder.h"

#include <linux/if_link.h>
#include <linux/rtnetlink.h>

#include <cstring>

CNetlinkDumpBuilder& CNetlinkDumpBuilder::Link(uint32_t seq, int index, const char* name,
    uint64_t rx, uint64_t tx, uint16_t flags, bool stats64)
{
    const size_t start = Begin(RTM_NEWLINK, seq, flags);
    ifinfomsg info {};
    info.ifi_index = index;
    Append(&info, sizeof info);
    if (name)
        Attribute(IFLA_IFNAME, name, std::strlen(name) + 1);
    const uint8_t operState = 6; // IF_OPER_UP
    Attribute(IFLA_OPERSTATE, &operState, 1);
    if (stats64) {
        rtnl_link_stats64 stats {};
        stats.rx_bytes = rx;
        stats.tx_bytes = tx;
        Attribute(IFLA_STATS64, &stats, sizeof stats);
    }
    rtnl_link_stats stats32 {};
    stats32.rx_bytes = uint32_t(rx);
    stats32.tx_bytes = uint32_t(tx);
    Attribute(IFLA_STATS, &stats32, sizeof stats32);
    End(start);
    return *this;
}

CNetlinkDumpBuilder& CNetlinkDumpBuilder::Stats(
    uint32_t seq, int index, uint64_t rx, uint64_t tx, uint16_t flags)
{
    const size_t start = Begin(RTM_NEWSTATS, seq, flags);
    if_stats_msg header {};
    header.ifindex = uint32_t(index);
    header.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    Append(&header, sizeof header);
    rtnl_link_stats64 stats {};
    stats.rx_bytes = rx;
    stats.tx_bytes = tx;
    Attribute(IFLA_STATS_LINK_64, &stats, sizeof stats);
    End(start);
    return *this;
}

CNetlinkDumpBuilder& CNetlinkDumpBuilder::Done(uint32_t seq, uint16_t flags)
{
    End(Begin(NLMSG_DONE, seq, flags), 4);
    return *this;
}

CNetlinkDumpBuilder& CNetlinkDumpBuilder::Error(uint32_t seq, int code)
{
    const size_t start = Begin(NLMSG_ERROR, seq, 0);
    nlmsgerr error {};
    error.error = code;
    Append(&error, sizeof error);
    End(start);
    return *this;
}

void CNetlinkDumpBuilder::Attribute(uint16_t type, const void* data, size_t size)
{
    rtattr attr {};
    attr.rta_type = type;
    attr.rta_len = uint16_t(RTA_LENGTH(size));
    Append(&attr, sizeof attr);
    Append(data, size);
    bytes.resize(NLMSG_ALIGN(bytes.size()));
}

size_t CNetlinkDumpBuilder::Begin(uint16_t type, uint32_t seq, uint16_t flags)
{
    const size_t start = bytes.size();
    nlmsghdr header {};
    header.nlmsg_type = type;
    header.nlmsg_flags = flags;
    header.nlmsg_seq = seq;
    Append(&header, sizeof header);
    return start;
}

void CNetlinkDumpBuilder::End(size_t start, size_t padding)
{
    bytes.resize(bytes.size() + padding);
    const uint32_t length = uint32_t(bytes.size() - start);
    std::memcpy(bytes.data() + start, &length, sizeof length);
    bytes.resize(NLMSG_ALIGN(bytes.size()));
}

void CNetlinkDumpBuilder::Append(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + size);
}
