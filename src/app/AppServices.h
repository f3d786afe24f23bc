#pragma once

class CResources;
class IClock;
class IConnectionState;
class IDesktopShell;
class IIconLoader;
class ILayeredWindow;
class INotifyArea;
class IPerfDataSource;
class IProcessLauncher;
class IRouteTable;
class ISessionEnd;
class ISettingsStore;
class IDataFiles;
class INativeDrawing;

// Every outside service the program uses, handed to the application at start-up: the Linux
// implementations in the program, fakes in tests. None of them is owned here.
struct AppServices {
    IPerfDataSource* perf = nullptr;
    IConnectionState* connection = nullptr;
    IClock* clock = nullptr;
    INotifyArea* notifyArea = nullptr;
    IIconLoader* icons = nullptr;
    ILayeredWindow* layered = nullptr;
    ISettingsStore* store = nullptr;
    IDesktopShell* shell = nullptr;
    ISessionEnd* sessionEnd = nullptr;
    IProcessLauncher* launcher = nullptr;
    IDataFiles* files = nullptr;
    IRouteTable* routes = nullptr; // asked on the first run only
    // Null: every graph paints through Qt's raster path.
    INativeDrawing* drawing = nullptr;
    const CResources* resources = nullptr;
};
