#include "app/LinuxServices.h"

#include "platform/linux/MonotonicClock.h"
#include "platform/linux/NetlinkClient.h"
#include "platform/linux/NetlinkConnectionState.h"
#include "platform/linux/NetlinkPerfDataSource.h"
#include "platform/linux/QtDesktopShell.h"
#include "platform/linux/QtLayeredWindow.h"
#include "platform/linux/QtNotifyArea.h"
#include "platform/linux/QtResources.h"
#include "platform/linux/QtSettingsStore.h"
#include "platform/linux/SpawnProcessLauncher.h"
#include "platform/linux/XcbNativeDrawing.h"
#include "platform/linux/XdgDataFiles.h"

struct CLinuxServices::Parts {
    explicit Parts(const QString& strAppName)
        : perf(netlink, std::chrono::milliseconds(2))
        , connection(netlink)
        , store(strAppName)
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
    CSpawnProcessLauncher launcher;
    CXdgDataFiles files;
    CXcbNativeDrawing drawing;
    CQtResources resources;
};

CLinuxServices::CLinuxServices(const QString& strAppName)
    : m_pParts(std::make_unique<Parts>(strAppName))
    , m_services { .perf = m_pParts->perf,
        .connection = m_pParts->connection,
        .clock = m_pParts->clock,
        .notifyArea = m_pParts->notifyArea,
        .resources = m_pParts->resources,
        .layered = m_pParts->layered,
        .store = m_pParts->store,
        .shell = m_pParts->shell,
        .launcher = m_pParts->launcher,
        .files = m_pParts->files,
        .drawing = &m_pParts->drawing }
{
}

CLinuxServices::~CLinuxServices() = default;
