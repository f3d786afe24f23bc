#pragma once

class IClock;
class IConnectionState;
class IDataFiles;
class IDesktopShell;
class ILayeredWindow;
class INativeDrawing;
class INotifyArea;
class IPerfDataSource;
class IProcessLauncher;
class IResources;
class ISettingsStore;

// Every outside service the program uses, handed to the application at start-up: the Linux
// implementations in the program, fakes in tests. None of them is owned here, and all of
// them outlive the application object.
struct AppServices {
    IPerfDataSource& perf;
    IConnectionState& connection;
    IClock& clock;
    INotifyArea& notifyArea;
    IResources& resources;
    ILayeredWindow& layered;
    ISettingsStore& store;
    IDesktopShell& shell;
    IProcessLauncher& launcher;
    IDataFiles& files;
    // The one optional service. Null: every graph paints through Qt's raster path.
    INativeDrawing* drawing = nullptr;
};
