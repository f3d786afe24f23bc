#pragma once

#include "app/TrafficApp.h"
#include "core/AppServices.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeConnectionState.h"
#include "fakes/FakeDataFiles.h"
#include "fakes/FakeDesktop.h"
#include "fakes/FakeLayeredWindow.h"
#include "fakes/FakeNotifyArea.h"
#include "fakes/FakePerfDataSource.h"
#include "fakes/FakeProcessLauncher.h"
#include "fakes/FakeResources.h"
#include "fakes/FakeSettingsStore.h"
#include "support/PerfBlockBuilder.h"

#include <memory>

// The whole program against fakes: every outside service is one of these members, and the
// application object is started on them.
class CAppFixture {
public:
    // pStore: a settings store of the test's own in place of the fake below.
    explicit CAppFixture(ISettingsStore* pStore = nullptr);
    ~CAppFixture();

    // The fakes below, but for the counters, the connection state, the clock and the store.
    AppServices Services(IPerfDataSource& perfSource, IConnectionState& connectionState,
        IClock& clockSource, ISettingsStore* pStore = nullptr);

    // Start-up as the program does it, the part after the first frame included.
    CTrafficApp& Start();
    CTrafficApp& App() { return *m_pApp; }

    // Sets the interfaces' cumulative byte counts that the next read sees.
    void SetCounters(const std::vector<BuiltInterface>& interfaces);
    // Stores a settings value before start-up.
    void Store(const char* key, int32_t value);
    // One 200 ms tick of the traffic window's timer.
    void Tick(uint32_t ms = 200);

    CFakePerfDataSource perf;
    CFakeConnectionState connection;
    CFakeClock clock;
    CFakeNotifyArea area;
    CFakeResources resources;
    CFakeLayeredWindow layered;
    CFakeSettingsStore store;
    CFakeDesktopShell shell;
    CFakeProcessLauncher launcher;
    CFakeDataFiles files;
    AppServices services;

private:
    std::unique_ptr<CTrafficApp> m_pApp;
};
