#pragma once

#include "platform/ITrayReceiver.h"

#include <QDialog>
#include <QIcon>

class IApplication;

// The hidden main window: it is never shown, receives the tray icon's mouse notifications,
// owns the tray menu and passes the menu's commands on to the application object.
class CMainDlg : public QDialog, public ITrayReceiver {
public:
    explicit CMainDlg(IApplication& app);

    // Creates the window from template 100, hidden.
    bool Create();
    // Gives the window the program's icon, which every window of the program (the traffic
    // window and the dialogs are its children) inherits. Not needed for the first frame.
    void SetIcon();

    long OnTrayNotification(uint32_t nMessage, uintptr_t wParam, uintptr_t lParam) override;
    // Menu 133 as a right click would show it now: exactly one of Show and Hide.
    std::vector<PopupMenuItem> TrayMenuItems() override;
    void OnTrayMenuCommand(int nId) override { OnCommand(nId); }
    // A menu command: this window handles none itself; ids 0x8000 to 0xEFFF travel on to the
    // application object. True when someone handled it.
    bool OnCommand(int nId);
    // The sizes of icon up to 64 pixels: what windows name as their icon.
    static QIcon WindowIcon(const QIcon& icon);

    QIcon m_hAppIcon;

private:
    long OnTrayNotify(uintptr_t wParam, uintptr_t lParam);

    IApplication& m_app;
};
