#include "app/TrafficApp.h"

#include "ResourceIds.h"
#include "app/LinuxServices.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/SettingsDlg.h"
#include "display/TrafficWnd.h"
#include "display/WindowAlpha.h"
#include "platform/IConnectionState.h"
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
        m_pSettingsDlg = new CSettingsDlg(*this, m_pMainDlg);
        m_pSettingsDlg->Create();
        m_pSettingsDlg->hide();
    }
    return *m_pSettingsDlg;
}

CAboutDlg& CTrafficApp::AboutDlg()
{
    if (!m_pAboutDlg) {
        m_pAboutDlg = new CAboutDlg(*this, m_pMainDlg);
        m_pAboutDlg->Create();
        m_pAboutDlg->hide();
    }
    return *m_pAboutDlg;
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
        if (m_pMainDlg) {
            CAboutDlg& about = AboutDlg();
            about.show();
            about.raise();
            about.activateWindow();
            about.setFocus();
        }
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
        // Shown without taking the focus from where it is.
        AboutDlg().ShowWithoutFocus();
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
    // A failed write is ignored: the values in memory stay in force for this run.
    m_services->store.WriteProfile(kSection, values);
}

void CTrafficApp::LoadSettings()
{
    const int32_t device = ReadInt("NetworkDevice", kNotStored);
    m_nNetworkDevice = device == kNotStored ? 0 : device;
    m_strNetworkDeviceName
        = m_services->store.GetProfileString(kSection, QStringLiteral("NetworkDeviceName"), {});
    m_nGraphicScale = ReadInt("GraphicScale", kDefaultScale);
    m_bMirrorMode = ReadInt("MirrorMode", 0) != 0;
    CTrafficWnd& wnd = *m_pTrafficWnd;
    wnd.m_bTransparent = ReadInt("Transparent", 0) != 0;
    wnd.m_nAlphaFocused = ReadInt("TransparencyFocused", 100);
    wnd.m_nAlphaUnfocused = ReadInt("TransparencyUnocused", 100);
    ChooseStartDevice(device != kNotStored);
    wnd.setFocus();
}

void CTrafficApp::ChooseStartDevice(bool bPositionStored)
{
    const CInterfaceCounter list(m_services->perf);
    const std::vector<std::string>& names = list.Names();
    std::string name = m_strNetworkDeviceName.toStdString();
    int position = Find(names, name);
    if (position >= 0) {
        // A stored name that exists wins over the stored position: the list may have
        // changed since (VPN, containers, tethering).
        m_nNetworkDevice = position;
    } else if (name.empty() && !bPositionStored) {
        // First run: the interface of the default route, else the first one up that is not
        // loopback, else the first in the list.
        IConnectionState& links = m_services->connection;
        std::vector<std::string> candidates;
        candidates.push_back(links.DefaultRouteInterface(false));
        candidates.push_back(links.DefaultRouteInterface(true));
        for (std::string& up : links.UpInterfaces())
            candidates.push_back(std::move(up));
        position = 0;
        for (const std::string& candidate : candidates)
            if (const int found = Find(names, candidate); found >= 0) {
                position = found;
                break;
            }
        m_nNetworkDevice = position;
        name = names.empty() ? std::string() : names[size_t(position)];
    } else if (m_nNetworkDevice >= 0 && size_t(m_nNetworkDevice) < names.size()) {
        name = names[size_t(m_nNetworkDevice)];
    }
    // Otherwise the stored name is kept, absent for now: the graphs stay flat until it
    // comes.
    m_strNetworkDeviceName = QString::fromStdString(name);
    m_pTrafficWnd->ApplyGraphSettings(name, m_nNetworkDevice, m_nGraphicScale, m_bMirrorMode != 0);
}

void CTrafficApp::SaveSettings()
{
    const CTrafficWnd& wnd = *m_pTrafficWnd;
    // The graphs follow their interface through renames: store the name it has now.
    if (!wnd.m_meter.Name().empty())
        m_strNetworkDeviceName = QString::fromStdString(wnd.m_meter.Name());
    WriteValues({
        { QStringLiteral("NetworkDevice"), m_nNetworkDevice },
        { QStringLiteral("NetworkDeviceName"), m_strNetworkDeviceName },
        { QStringLiteral("GraphicScale"), m_nGraphicScale },
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
        .nGraphicScale = m_nGraphicScale,
        .bMirrorMode = m_bMirrorMode != 0 };
}

void CTrafficApp::SaveGraphSettings(const GraphSettings& settings)
{
    m_nNetworkDevice = settings.nNetworkDevice;
    m_strNetworkDeviceName = settings.strNetworkDeviceName;
    m_nGraphicScale = settings.nGraphicScale;
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

    // The desktop is the union of all screens; right and bottom are exclusive.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->virtualGeometry();
    const int64_t dLeft = desktop.x(), dTop = desktop.y();
    const int64_t dRight = dLeft + desktop.width(), dBottom = dTop + desktop.height();
    // Any rectangle that overlaps or touches the desktop is applied, even one mostly off it.
    if (left <= dRight && right >= dLeft && top <= dBottom && bottom >= dTop) {
        m_pTrafficWnd->move(left, top);
        const int64_t width = std::min<int64_t>(int64_t(right) - left, INT32_MAX);
        const int64_t height = std::min<int64_t>(int64_t(bottom) - top, INT32_MAX);
        m_pTrafficWnd->resize(int(width), int(height));
        m_pTrafficWnd->repaint();
    }
}

void CTrafficApp::SaveWindowRect()
{
    const QRect r = m_pTrafficWnd->frameGeometry();
    WriteValues({
        { QStringLiteral("rect.left"), int32_t(r.x()) },
        { QStringLiteral("rect.top"), int32_t(r.y()) },
        { QStringLiteral("rect.right"), int32_t(r.x() + r.width()) },
        { QStringLiteral("rect.bottom"), int32_t(r.y() + r.height()) },
    });
}
