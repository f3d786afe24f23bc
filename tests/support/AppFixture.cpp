#include "support/AppFixture.h"

#include "ResourceIds.h"
#include "display/TrafficWnd.h"

CAppFixture::CAppFixture(ISettingsStore* pStore)
    : services(Services(perf, connection, clock, pStore))
{
    // Far from 0 so the lamps' 300 ms window starts dark.
    clock.now = 1'000'000;
    resources.colours = { { IDI_IDLE, Qt::darkGray }, { IDI_RECEIVE, Qt::green },
        { IDI_SEND, Qt::red }, { IDI_BOTH, Qt::yellow } };
    SetCounters({ { u"lo", 0, 0 }, { u"eth0", 0, 0 } });
    m_pApp = std::make_unique<CTrafficApp>(services);
}

AppServices CAppFixture::Services(IPerfDataSource& perfSource, IConnectionState& connectionState,
    IClock& clockSource, ISettingsStore* pStore)
{
    return { .perf = perfSource,
        .connection = connectionState,
        .clock = clockSource,
        .notifyArea = area,
        .resources = resources,
        .layered = layered,
        .store = pStore ? *pStore : store,
        .shell = shell,
        .launcher = launcher,
        .files = files };
}

CAppFixture::~CAppFixture()
{
    m_pApp->ExitInstance();
}

CTrafficApp& CAppFixture::Start()
{
    m_pApp->InitInstance();
    // What the program does once the first frame is out, without waiting for it.
    m_pApp->FinishStartup();
    return *m_pApp;
}

void CAppFixture::SetCounters(const std::vector<BuiltInterface>& interfaces)
{
    perf.block = BuildNetworkBlock(interfaces).bytes;
}

void CAppFixture::Store(const char* key, int32_t value)
{
    store.values[{ QStringLiteral("Settings"), QString::fromLatin1(key) }] = value;
}

void CAppFixture::Tick(uint32_t ms)
{
    clock.Advance(ms);
    m_pApp->m_pTrafficWnd->OnTimer(m_pApp->m_pTrafficWnd->m_nTimerId);
}
