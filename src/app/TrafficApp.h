#pragma once

#include "core/AppServices.h"
#include "core/IApplication.h"
#include "platform/ISettingsStore.h"
#include "tray/SystemTray.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CAboutDlg;
class CLinuxServices;
class CMainDlg;
class CSettingsDlg;
class CTrafficWnd;
class CWindowAlpha;

// The application object: it exists for the whole life of the process, creates the windows
// (the dialogs on first use), holds the settings no window keeps, answers the tray menu's commands
// and ends the program.
//
// The program's one instance is built before main runs with the construction values below;
// start-up wires the Linux services (or the ones a test hands in), creates the tray icon and
// the windows. Everything Qt-made is torn down by ExitInstance, tray icon first, before the
// Qt application goes away.
class CTrafficApp final : public IApplication {
public:
    static constexpr int32_t kDefaultScale = 20480;
    // How long the end of the program waits for another copy's hold on the settings file.
    static constexpr int kExitSaveWaitMs = 1000;

    // The program's object: Linux services, made at start-up.
    CTrafficApp();
    // A test's object: the services it hands in.
    explicit CTrafficApp(const AppServices& services);
    ~CTrafficApp();
    CTrafficApp(const CTrafficApp&) = delete;
    CTrafficApp& operator=(const CTrafficApp&) = delete;

    // Start-up, up to the traffic window shown; returns true so that the event loop runs.
    bool InitInstance();
    // The rest of start-up, once the first frame is out: the tray icon, the windows' icon.
    void FinishStartup() override;
    // Tears down what start-up made, tray icon first; safe to call twice.
    void ExitInstance();

    bool OnCmdMsg(int nId) override;
    bool OnTrafficWndCmd(int nId) override;

    void LoadSettings();
    void SaveSettings();
    void LoadWindowRect();
    void SaveWindowRect() override;
    GraphSettings GetGraphSettings() const override;
    void SaveGraphSettings(const GraphSettings& settings) override;

    // Only while the tray icon shows: nothing else could bring the window back.
    bool CanHide() const override { return m_trayIcon && !m_trayIcon->m_bIconHidden; }

    // Ends the program with the code, without storing anything.
    void ExitProcess(int code);

    // Only from start-up to ExitInstance.
    const AppServices& Services() const override { return *m_services; }
    CSystemTray& TrayIcon() override { return *m_trayIcon; }
    CWindowAlpha& Alpha() override { return *m_pAlpha; }
    CTrafficWnd* TrafficWnd() const override { return m_pTrafficWnd; }
    // The dialogs are built when first shown: most runs never open them, and building them
    // costs start-up time and memory. Only after start-up.
    CSettingsDlg& SettingsDlg();
    CAboutDlg& AboutDlg();
    bool SettingsDlgShown() const override;
    // The executable's base name: the settings file's folder and name.
    static QString AppName();

    CMainDlg* m_pMainDlg = nullptr;
    CTrafficWnd* m_pTrafficWnd = nullptr;
    CAboutDlg* m_pAboutDlg = nullptr; // null until first used
    CSettingsDlg* m_pSettingsDlg = nullptr; // null until first used
    int32_t m_nNetworkDevice = 0;
    // The chosen interface's name ("NetworkDeviceName"): what the graphs follow. The position
    // above is kept beside it for settings files and readers that know only that.
    QString m_strNetworkDeviceName;
    // "NetworkDeviceAutomatic": the graphs follow the default route's interface, which the
    // two fields above then name as it was last stored.
    uint8_t m_bAutomaticDevice = 0;
    int32_t m_nGraphicScale = kDefaultScale;
    // "GraphicScaleFit": the full scale fits what the graphs show; m_nGraphicScale keeps the
    // fixed one chosen last.
    uint8_t m_bFitScale = 0;
    uint8_t m_bMirrorMode = 0;
    // Held by value; made at start-up, once the notification area can be reached.
    std::optional<CSystemTray> m_trayIcon;

private:
    int32_t ReadInt(const char* key, int32_t nDefault);
    // Decides which interface the graphs read at start-up and hands it to them.
    void ChooseStartDevice();
    void WriteValues(const std::vector<ProfileValue>& values);
    void ShowAbout();
    // A screen that went away, or a work area that shrank, can leave the traffic window out
    // of reach: it comes back to the nearest screen.
    void WatchScreens();
    void KeepWindowReachable();

    std::unique_ptr<CLinuxServices> m_pLinux;
    // A test's from construction on; the Linux ones from start-up to ExitInstance.
    std::optional<AppServices> m_services;
    std::unique_ptr<CWindowAlpha> m_pAlpha;
    bool m_bStartupFinished = false;
};
