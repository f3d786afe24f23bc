#include "app/LinuxServices.h"

#include "app/ResourceIconLoader.h"
#include "app/Resources.h"
#include "platform/linux/MonotonicClock.h"
#include "platform/linux/NetlinkClient.h"
#include "platform/linux/NetlinkConnectionState.h"
#include "platform/linux/NetlinkPerfDataSource.h"
#include "platform/linux/NetlinkRouteTable.h"
#include "platform/linux/QtDesktopShell.h"
#include "platform/linux/QtLayeredWindow.h"
#include "platform/linux/QtNotifyArea.h"
#include "platform/linux/QtSettingsStore.h"
#include "platform/linux/SignalSessionEnd.h"
#include "platform/linux/SpawnProcessLauncher.h"
#include "platform/linux/XcbNativeDrawing.h"
#include "platform/linux/XdgDataFiles.h"

struct CLinuxServices::Parts {
    explicit Parts(const QString& strAppName)
        : perf(netlink, std::chrono::milliseconds(2))
        , connection(netlink)
        , store(strAppName)
        , routes(netlink)
        , icons(resources)
    {
    }

    // One request socket and one link-event subscription serve every netlink reader.
    CNetlinkClient netlink;
    // The two graphs read one after the other in a tick: one kernel reading serves both.
    CNetlinkPerfDataSource perf;
    CNetlinkConnectionState connection;
    CMonotonicClock clock;
    CQtNotifyArea notifyArea;
    CQtLayeredWindow layered;
    CQtSettingsStore store;
    CQtDesktopShell shell;
    CSignalSessionEnd sessionEnd;
    CSpawnProcessLauncher launcher;
    CXdgDataFiles files;
    CNetlinkRouteTable routes;
    CXcbNativeDrawing drawing;
    CResources resources;
    CResourceIconLoader icons;
};

CLinuxServices::CLinuxServices(const QString& strAppName)
    : m_pParts(std::make_unique<Parts>(strAppName))
{
    Parts& p = *m_pParts;
    m_services.perf = &p.perf;
    m_services.connection = &p.connection;
    m_services.clock = &p.clock;
    m_services.notifyArea = &p.notifyArea;
    m_services.icons = &p.icons;
    m_services.layered = &p.layered;
    m_services.store = &p.store;
    m_services.shell = &p.shell;
    m_services.sessionEnd = &p.sessionEnd;
    m_services.launcher = &p.launcher;
    m_services.files = &p.files;
    m_services.routes = &p.routes;
    m_services.drawing = &p.drawing;
    m_services.resources = &p.resources;
}

CLinuxServices::~CLinuxServices() = default;
