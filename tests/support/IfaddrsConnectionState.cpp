#include "support/IfaddrsConnectionState.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <memory>

bool CIfaddrsConnectionState::IsConnected()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false; // a failing query counts as no connection
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        if (!(flags & IFF_LOOPBACK) && (flags & IFF_UP) && (flags & IFF_RUNNING))
            return true;
    }
    return false;
}
