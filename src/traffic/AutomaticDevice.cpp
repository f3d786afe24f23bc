#include "traffic/AutomaticDevice.h"

#include "platform/IConnectionState.h"
#include "traffic/InterfaceCounter.h"

#include <algorithm>
#include <vector>

CAutomaticDevice::CAutomaticDevice(IConnectionState& links, IPerfDataSource& source)
    : m_links(links)
    , m_source(source)
{
}

bool CAutomaticDevice::Changed()
{
    const uint64_t generation = m_links.RouteGeneration();
    const bool changed = !m_bKnown || generation != m_nGeneration;
    m_nGeneration = generation;
    m_bKnown = true;
    return changed;
}

CAutomaticDevice::Choice CAutomaticDevice::Choose(bool bFirstIfNone) const
{
    const CInterfaceCounter list(m_source);
    const std::vector<std::string>& names = list.Names();
    // A link the counters do not list (yet) cannot be metered: the next candidate is.
    Choice choice;
    const auto listed = [&](const std::string& name) {
        const auto it = name.empty() ? names.end() : std::find(names.begin(), names.end(), name);
        if (it != names.end())
            choice = { name, int(it - names.begin()) };
        return it != names.end();
    };
    if (listed(m_links.DefaultRouteInterface(false)) || listed(m_links.DefaultRouteInterface(true)))
        return choice;
    for (const std::string& up : m_links.UpInterfaces())
        if (listed(up))
            return choice;
    if (bFirstIfNone && !names.empty())
        return { names.front(), 0 };
    return {};
}
