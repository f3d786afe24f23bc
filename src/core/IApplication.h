#pragma once

#include "core/AppServices.h"

#include <QString>
#include <cstdint>

class CSystemTray;
class CTrafficWnd;
class CWindowAlpha;

// The graphs' settings as the user chose them: what the settings dialog shows and OK stores.
struct GraphSettings {
    int32_t nNetworkDevice = 0; // the interface's position in the list it was picked from
    QString strNetworkDeviceName; // the interface the graphs follow
    // The graphs follow the interface of the default route, whichever it is; the two fields
    // above then name the one they follow now.
    bool bAutomaticDevice = false;
    int32_t nGraphicScale = 0; // bytes per second at full height, unless fitted
    // The full scale fits what the graphs show; nGraphicScale keeps the last one chosen.
    bool bFitScale = false;
    bool bMirrorMode = false;
};

// What the windows and dialogs need from the application object: the outside services, the
// commands of their menus, the settings they show, and the saves of what the user changed.
// The application implements it and hands itself to each window it makes.
class IApplication {
public:
    // Only from start-up to the end of the program.
    virtual const AppServices& Services() const = 0;
    virtual CSystemTray& TrayIcon() = 0;
    virtual CWindowAlpha& Alpha() = 0;
    // Null before start-up has made it.
    virtual CTrafficWnd* TrafficWnd() const = 0;

    // The tray menu's commands; false for an id the application does not handle.
    virtual bool OnCmdMsg(int nId) = 0;
    // The traffic window's menu commands: its own ids, and the tray's for the rest.
    virtual bool OnTrafficWndCmd(int nId) = 0;
    // Whether the traffic window may be hidden: only while something can bring it back.
    virtual bool CanHide() const = 0;
    // The settings dialog is open: its transparency preview holds the window's alpha.
    virtual bool SettingsDlgShown() const = 0;
    // The traffic window has shown its first frame, or ticks without one: start-up now does
    // what the first frame did not need. Only the first call does anything.
    virtual void FinishStartup() = 0;

    virtual GraphSettings GetGraphSettings() const = 0;
    // Keeps the settings and stores them with the traffic window's own.
    virtual void SaveGraphSettings(const GraphSettings& settings) = 0;
    // Stores the traffic window's place.
    virtual void SaveWindowRect() = 0;

protected:
    ~IApplication() = default;
};
