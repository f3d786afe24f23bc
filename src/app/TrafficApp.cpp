#include "app/TrafficApp.h"

#include "ResourceIds.h"
#include "app/LinuxServices.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/DialogPlacement.h"
#include "dialogs/SettingsDlg.h"
#include "display/TrafficWnd.h"
#include "display/WindowAlpha.h"
#include "display/WindowPlacement.h"
#include "platform/IDesktopShell.h"
#include "platform/IResources.h"
#include "platform/ISettingsStore.h"
#include "traffic/InterfaceCounter.h"
#include "tray/MainDlg.h"
#include "tray/SystemTray.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <climits>

namespace {

const QString kSection = QStringLiteral("Settings");
// "NetworkDevice" read with this default was never stored.
constexpr int32_t kNotStored = INT32_MIN;

int Find(const std::vector<std::string>& names, const std::string& name)
{
    if (name.empty())
        return -1;
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : int(it - names.begin());
}

} // namespace

CTrafficApp::CTrafficApp() = default;

CTrafficApp::CTrafficApp(const AppServices& services)
    : m_services(services)
{
}

CTrafficApp::~CTrafficApp()
{
    // Normally ExitInstance ran before the Qt application went away; without a Qt
    // application left, only plain memory may be released here.
    if (QCoreApplication::instance())
        ExitInstance();
}

QString CTrafficApp::AppName()
{
    const QString path = QCoreApplication::applicationFilePath();
    const QString name = path.isEmpty() ? QString() : QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("corvane") : name;
}

bool CTrafficApp::InitInstance()
{
    // The settings go to the per-user file named after the executable.
    if (!m_services) {
        m_pLinux = std::make_unique<CLinuxServices>(AppName());
        m_services.emplace(m_pLinux->Services());
    }
    m_pAlpha = std::make_unique<CWindowAlpha>(m_services->layered);
    m_trayIcon.emplace(m_services->notifyArea, m_services->resources);

    m_pMainDlg = new CMainDlg(*this);
    m_pMainDlg->Create();
    m_pMainDlg->hide();

    // The traffic window's initialisation sets up both graphs with the construction values
    // and starts its timer; its first tick comes once the event loop runs.
    m_pTrafficWnd = new CTrafficWnd(*this, m_pMainDlg);
    m_pTrafficWnd->Create();
    m_pTrafficWnd->hide();

    // The tray icon waits for the traffic window's first frame (FinishStartup): the window
    // maps sooner without the notification area's round trips before it.
    LoadSettings();
    LoadWindowRect();
    WatchScreens();
    m_pTrafficWnd->show();

    // A session that ends (logout, Ctrl+C, kill) ends the program like the tray menu's Exit,
    // so a move of the last seconds is stored and the icon leaves the notification area.
    m_services->shell.SetSessionEndHandler([this] { OnCmdMsg(ID_APP_EXIT); });

    if (m_pTrafficWnd->m_bTransparent) {
        m_pAlpha->SetWindowAlpha(m_pTrafficWnd, m_pTrafficWnd->m_nAlphaFocused & 0xFF);
        m_pTrafficWnd->activateWindow();
        m_pTrafficWnd->setFocus();
    }
    return true;
}

void CTrafficApp::FinishStartup()
{
    if (m_bStartupFinished || !m_pMainDlg)
        return;
    m_bStartupFinished = true;
    // A refused add is retried by the tray icon itself at the next activity change.
    m_trayIcon->CreateFromResource(m_pMainDlg, WM_TRAY_CALLBACK,
        m_services->resources.LoadString(IDS_TOOLTIP), IDI_IDLE, IDR_TRAYMENU, false, QString(),
        QString(), 0, 10);
    // Panels and window lists show the icon; the first frame does not.
    m_pMainDlg->SetIcon();
}

CSettingsDlg& CTrafficApp::SettingsDlg()
{
    if (!m_pSettingsDlg) {
        // The traffic window's transients: window managers keep them in front of it, though
        // it stays on top of everything else.
        m_pSettingsDlg = new CSettingsDlg(*this, m_pTrafficWnd);
        m_pSettingsDlg->Create();
        m_pSettingsDlg->hide();
    }
    return *m_pSettingsDlg;
}

CAboutDlg& CTrafficApp::AboutDlg()
{
    if (!m_pAboutDlg) {
        m_pAboutDlg = new CAboutDlg(*this, m_pTrafficWnd);
        m_pAboutDlg->Create();
        m_pAboutDlg->hide();
    }
    return *m_pAboutDlg;
}

void CTrafficApp::ShowAbout()
{
    CAboutDlg& about = AboutDlg();
    // Each time it opens: centred on the screen the user is on.
    if (!about.isVisible())
        CDialogPlacement::Place(about, m_services->shell.GetCursorPos());
    about.show();
    about.raise();
    about.activateWindow();
    about.setFocus();
}

bool CTrafficApp::SettingsDlgShown() const
{
    return m_pSettingsDlg && m_pSettingsDlg->isVisible();
}

void CTrafficApp::ExitInstance()
{
    if (m_services)
        m_services->shell.SetSessionEndHandler({});
    // The icon leaves the notification area before anything else goes.
    m_trayIcon.reset();
    delete m_pMainDlg; // owns the traffic window and both dialogs
    m_pMainDlg = nullptr;
    m_pTrafficWnd = nullptr;
    m_pAboutDlg = nullptr;
    m_pSettingsDlg = nullptr;
    m_pAlpha.reset();
    // A save that found another copy writing may still wait: the run's one wait for it, once
    // nothing is on the screen any more.
    if (m_services)
        m_services->store.Flush(kExitSaveWaitMs);
    if (m_pLinux) {
        m_services.reset();
        m_pLinux.reset();
    }
}

bool CTrafficApp::OnCmdMsg(int nId)
{
    switch (nId) {
    case ID_APP_SHOW:
        if (m_pTrafficWnd)
            m_pTrafficWnd->show();
        return true;
    case ID_APP_HIDE:
        if (m_pTrafficWnd && CanHide())
            m_pTrafficWnd->hide();
        return true;
    case ID_APP_SETTINGS:
        if (m_pMainDlg)
            SettingsDlg().ShowSettings();
        return true;
    case ID_APP_ABOUT:
        if (m_pMainDlg)
            ShowAbout();
        return true;
    case ID_APP_EXIT:
        SaveWindowRect();
        ExitProcess(0);
        return true;
    default:
        return false;
    }
}

bool CTrafficApp::OnTrafficWndCmd(int nId)
{
    switch (nId) {
    case ID_WND_SETTINGS:
        SettingsDlg().ShowSettings();
        return true;
    case ID_WND_ABOUT:
        // With the keyboard focus, as from the tray: Escape closes it.
        ShowAbout();
        return true;
    case ID_WND_EXIT:
        // This Exit does not store the position: a move less than 5 s old is lost.
        ExitProcess(0);
        return true;
    default:
        return OnCmdMsg(nId);
    }
}

void CTrafficApp::ExitProcess(int code)
{
    m_services->shell.ExitProcess(code);
}

int32_t CTrafficApp::ReadInt(const char* key, int32_t nDefault)
{
    return m_services->store.GetProfileInt(kSection, QString::fromLatin1(key), nDefault);
}

void CTrafficApp::WriteValues(const std::vector<ProfileValue>& values)
{
    // A failed write is ignored, and one that must wait is the store's to finish: the values
    // in memory stay in force for this run.
    m_services->store.WriteProfile(kSection, values);
}

void CTrafficApp::LoadSettings()
{
    const int32_t device = ReadInt("NetworkDevice", kNotStored);
    m_nNetworkDevice = device == kNotStored ? 0 : device;
    m_strNetworkDeviceName
        = m_services->store.GetProfileString(kSection, QStringLiteral("NetworkDeviceName"), {});
    // Files from before Automatic keep the interface they name; a first run follows the
    // default route.
    const int32_t automatic = ReadInt("NetworkDeviceAutomatic", kNotStored);
    m_bAutomaticDevice = automatic == kNotStored
        ? device == kNotStored && m_strNetworkDeviceName.isEmpty()
        : automatic != 0;
    m_nGraphicScale = ReadInt("GraphicScale", kDefaultScale);
    m_bFitScale = ReadInt("GraphicScaleFit", 0) != 0;
    m_bMirrorMode = ReadInt("MirrorMode", 0) != 0;
    CTrafficWnd& wnd = *m_pTrafficWnd;
    wnd.m_bTransparent = ReadInt("Transparent", 0) != 0;
    wnd.m_nAlphaFocused = ReadInt("TransparencyFocused", 100);
    wnd.m_nAlphaUnfocused = ReadInt("TransparencyUnocused", 100);
    ChooseStartDevice();
    wnd.setFocus();
}

void CTrafficApp::ChooseStartDevice()
{
    GraphSettings settings = GetGraphSettings();
    if (!m_bAutomaticDevice) {
        const CInterfaceCounter list(m_services->perf);
        const std::vector<std::string>& names = list.Names();
        const std::string name = m_strNetworkDeviceName.toStdString();
        if (name.empty()) {
            // Only a position stored, as files from before names were kept: the interface
            // there now.
            if (m_nNetworkDevice >= 0 && size_t(m_nNetworkDevice) < names.size())
                settings.strNetworkDeviceName
                    = QString::fromStdString(names[size_t(m_nNetworkDevice)]);
        } else if (const int position = Find(names, name); position >= 0) {
            // A stored name wins over the stored position: the list may have changed since
            // (VPN, containers, tethering).
            settings.nNetworkDevice = position;
        }
        // A stored name that is absent (a VPN not up yet at login) is kept whatever position
        // is stored: the graphs stay flat until it comes, and another link in its old place
        // is not taken for it.
    }
    m_pTrafficWnd->ApplyGraphSettings(settings);
    // Automatic has chosen by now; a name may have moved in the list.
    const GraphSettings shown = m_pTrafficWnd->ShownGraphSettings();
    m_nNetworkDevice = shown.nNetworkDevice;
    m_strNetworkDeviceName = shown.strNetworkDeviceName;
}

void CTrafficApp::SaveSettings()
{
    const CTrafficWnd& wnd = *m_pTrafficWnd;
    // The graphs follow their interface through renames: store the name it has now. Automatic
    // stores the one it follows, for readers that do not know Automatic.
    if (!wnd.m_meter.Name().empty())
        m_strNetworkDeviceName = QString::fromStdString(wnd.m_meter.Name());
    if (m_bAutomaticDevice)
        m_nNetworkDevice = wnd.m_graphSent.m_nDevice;
    WriteValues({
        { QStringLiteral("NetworkDevice"), m_nNetworkDevice },
        { QStringLiteral("NetworkDeviceName"), m_strNetworkDeviceName },
        { QStringLiteral("NetworkDeviceAutomatic"), int32_t(m_bAutomaticDevice ? 1 : 0) },
        { QStringLiteral("GraphicScale"), m_nGraphicScale },
        { QStringLiteral("GraphicScaleFit"), int32_t(m_bFitScale ? 1 : 0) },
        { QStringLiteral("MirrorMode"), int32_t(m_bMirrorMode ? 1 : 0) },
        { QStringLiteral("Transparent"), int32_t(wnd.m_bTransparent ? 1 : 0) },
        { QStringLiteral("TransparencyFocused"), wnd.m_nAlphaFocused },
        { QStringLiteral("TransparencyUnocused"), wnd.m_nAlphaUnfocused },
    });
}

GraphSettings CTrafficApp::GetGraphSettings() const
{
    return { .nNetworkDevice = m_nNetworkDevice,
        .strNetworkDeviceName = m_strNetworkDeviceName,
        .bAutomaticDevice = m_bAutomaticDevice != 0,
        .nGraphicScale = m_nGraphicScale,
        .bFitScale = m_bFitScale != 0,
        .bMirrorMode = m_bMirrorMode != 0 };
}

void CTrafficApp::SaveGraphSettings(const GraphSettings& settings)
{
    m_nNetworkDevice = settings.nNetworkDevice;
    m_strNetworkDeviceName = settings.strNetworkDeviceName;
    m_bAutomaticDevice = settings.bAutomaticDevice ? 1 : 0;
    m_nGraphicScale = settings.nGraphicScale;
    m_bFitScale = settings.bFitScale ? 1 : 0;
    m_bMirrorMode = settings.bMirrorMode ? 1 : 0;
    SaveSettings();
}

void CTrafficApp::LoadWindowRect()
{
    const int32_t left = ReadInt("rect.left", 0);
    const int32_t top = ReadInt("rect.top", 0);
    const int32_t right = ReadInt("rect.right", 0);
    const int32_t bottom = ReadInt("rect.bottom", 0);
    // No rectangle stored yet (the first run): the window stays where it was created.
    if (right == left || bottom == top)
        return;
    // A rectangle turned inside out was never written by the program; it is refused.
    if (right < left || bottom < top)
        return;

    const CWindowPlacement screens = CWindowPlacement::Current();
    if (screens.Empty())
        return;
    // The file holds device pixels; the window keeps the skin's size whatever was stored.
    const QRect stored(screens.FromDevice(QPoint(left, top)), m_pTrafficWnd->size());
    // A place on a screen that is gone (the laptop taken off its monitor) would leave the
    // window out of reach: it comes to the nearest screen instead.
    m_pTrafficWnd->move(screens.KeepReachable(stored));
    m_pTrafficWnd->repaint();
}

void CTrafficApp::KeepWindowReachable()
{
    if (!m_pTrafficWnd)
        return;
    const QRect frame = m_pTrafficWnd->frameGeometry();
    const QPoint reachable = CWindowPlacement::Current().KeepReachable(frame);
    if (reachable != frame.topLeft())
        m_pTrafficWnd->move(reachable);
}

void CTrafficApp::WatchScreens()
{
    // Qt reports a screen that comes, goes or changes its work area before it has settled
    // its list of screens: look once the event loop is back.
    const auto later = [this] {
        QMetaObject::invokeMethod(
            m_pMainDlg, [this] { KeepWindowReachable(); }, Qt::QueuedConnection);
    };
    const auto watch = [this, later](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, m_pMainDlg, later);
        QObject::connect(screen, &QScreen::availableGeometryChanged, m_pMainDlg, later);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watch(screen);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, m_pMainDlg, watch);
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, m_pMainDlg, later);
}

void CTrafficApp::SaveWindowRect()
{
    // In device pixels: the place stays where it is on the screen when the device pixel
    // ratio changes between runs.
    const QRect r = CWindowPlacement::Current().ToDevice(m_pTrafficWnd->frameGeometry());
    WriteValues({
        { QStringLiteral("rect.left"), int32_t(r.x()) },
        { QStringLiteral("rect.top"), int32_t(r.y()) },
        { QStringLiteral("rect.right"), int32_t(r.x() + r.width()) },
        { QStringLiteral("rect.bottom"), int32_t(r.y() + r.height()) },
    });
}
