#include "app/LinuxServices.h"

#include "platform/linux/desktop/QtDesktopShell.h"
#include "platform/linux/desktop/QtNotifyArea.h"
#include "platform/linux/desktop/QtResources.h"
#include "platform/linux/desktop/SpawnProcessLauncher.h"
#include "platform/linux/desktop/XdgDataFiles.h"
#include "platform/linux/kernel/MonotonicClock.h"
#include "platform/linux/kernel/NetlinkClient.h"
#include "platform/linux/kernel/NetlinkConnectionState.h"
#include "platform/linux/kernel/NetlinkPerfDataSource.h"
#include "platform/linux/x11/QtLayeredWindow.h"
#include "platform/linux/x11/XcbNativeDrawing.h"
#include "settings/IniSettingsStore.h"

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
    CIniSettingsStore store;
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
