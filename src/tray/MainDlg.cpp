#include "tray/MainDlg.h"

#include "ResourceIds.h"
#include "core/IApplication.h"
#include "display/TrafficWnd.h"
#include "platform/IDesktopShell.h"
#include "platform/IResources.h"

#include <algorithm>

CMainDlg::CMainDlg(IApplication& app)
    : QDialog(nullptr)
    , m_app(app)
{
    m_hAppIcon = app.Services().resources.LoadIcon(IDR_MAINFRAME);
}

bool CMainDlg::Create()
{
    setWindowTitle(QStringLiteral("About Corvane"));
    hide();
    return true;
}

void CMainDlg::SetIcon()
{
    setWindowIcon(WindowIcon(m_hAppIcon));
}

QIcon CMainDlg::WindowIcon(const QIcon& icon)
{
    // The X server keeps every size a window names in the window's properties (256 KB for a
    // 256-pixel image), decoded and sent for each window at start-up; panels and window lists
    // draw 64 pixels at most.
    constexpr int kMaxSize = 64;
    QIcon small;
    for (const QSize& size : icon.availableSizes())
        if (size.width() <= kMaxSize && size.height() <= kMaxSize)
            small.addPixmap(icon.pixmap(size));
    return small.isNull() ? icon : small;
}

long CMainDlg::OnTrayNotification(uint32_t nMessage, uintptr_t wParam, uintptr_t lParam)
{
    if (nMessage != WM_TRAY_CALLBACK)
        return 0;
    return OnTrayNotify(wParam, lParam);
}

long CMainDlg::OnTrayNotify(uintptr_t wParam, uintptr_t lParam)
{
    if (wParam != uintptr_t(IDR_TRAYMENU))
        return 0;
    CTrafficWnd* pTraffic = m_app.TrafficWnd();
    switch (unsigned(lParam & 0xFFFF)) {
    case WM_LBUTTONUP:
        if (pTraffic) {
            if (pTraffic->isVisible()) {
                pTraffic->hide();
            } else {
                pTraffic->showNormal();
                pTraffic->raise();
            }
        }
        return 1;
    case WM_RBUTTONUP: {
        const std::vector<PopupMenuItem> items = TrayMenuItems();
        if (items.empty())
            return 0;
        const QPoint pos = m_app.Services().shell.GetCursorPos();
        const int id = m_app.Services().shell.TrackPopupMenu(items, pos, this);
        if (id != 0)
            OnCommand(id);
        return 1;
    }
    default:
        return 1;
    }
}

std::vector<PopupMenuItem> CMainDlg::TrayMenuItems()
{
    // The menu is loaded afresh each time, so deleting an item below touches only this copy.
    const MenuResource menu = m_app.Services().resources.LoadMenu(IDR_TRAYMENU);
    if (menu.IsNull())
        return {};
    const CTrafficWnd* pTraffic = m_app.TrafficWnd();
    const int remove = pTraffic && pTraffic->isVisible() ? ID_APP_SHOW : ID_APP_HIDE;
    std::vector<PopupMenuItem> items;
    for (const MenuItem& item : menu.items)
        if (item.separator || item.id != remove)
            items.push_back({ item.id, item.text, item.separator });
    return items;
}

bool CMainDlg::OnCommand(int nId)
{
    // Only commands from 0x8000 to 0xEFFF travel beyond the window itself.
    if (nId < 0x8000 || nId > 0xEFFF)
        return false;
    return m_app.OnCmdMsg(nId);
}
