#pragma once

#include "platform/INotifyArea.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>
#include <vector>

class QAction;
class QDBusServiceWatcher;
class QMenu;
class QScreen;

// The notification area through QSystemTrayIcon: a StatusNotifierItem over D-Bus where a
// StatusNotifierWatcher runs, XEmbed docking on X11 otherwise. A host that appears (again),
// a new owner of org.kde.StatusNotifierWatcher or a new XEmbed tray manager announced by
// the MANAGER client message, is passed up as "TaskbarCreated"; a screen whose available
// geometry changes is passed up as a work-area change.
//
// A StatusNotifierItem host shows the item's menu itself, read over D-Bus: there the tray
// menu is exported as the icon's context menu, filled from the receiver before it is shown,
// and its choices go back to the receiver. An XEmbed tray passes the right click on instead.
class CQtNotifyArea : public QObject, public INotifyArea, private QAbstractNativeEventFilter {
public:
    CQtNotifyArea();
    ~CQtNotifyArea() override;

    bool ShellUsable() override;
    bool StateSupported() override { return true; }
    bool NotifyIcon(uint32_t dwMessage, const NotifyIconData& record) override;
    void MenuChanged() override;
    void SetListener(INotifyAreaListener* pListener) override;

    // For checks on a real desktop: the icon as the area has it, or nullptr.
    const QSystemTrayIcon* TrayIcon() const { return m_pIcon.get(); }

private:
    // Connects to the session bus and watches for notification-area hosts; once.
    void Start();
    bool Add(const NotifyIconData& record);
    bool Modify(const NotifyIconData& record);
    bool Delete();
    void SetImage(const QIcon& hIcon);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void FillMenu();
    void OnMenuTriggered(QAction* pAction);
    void HostAppeared();
    void WorkAreaChanged();
    void WatchScreen(QScreen* pScreen);
    void WatchXEmbedManagers();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    std::unique_ptr<QSystemTrayIcon> m_pIcon;
    INotifyAreaListener* m_pListener = nullptr;
    // Where clicks go, as the last add named it.
    ITrayReceiver* m_pReceiver = nullptr;
    uint32_t m_uID = 0;
    uint32_t m_uCallbackMessage = 0;
    qint64 m_nImageKey = 0;
    // The small sizes of each image sent so far, by the image's cache key: the lamps take
    // turns among a few images many times a minute.
    std::vector<std::pair<qint64, QIcon>> m_smallImages;
    // A host that appeared since the icon was made may want a fresh icon object: Qt picks
    // between D-Bus and XEmbed only when a QSystemTrayIcon is created.
    bool m_bHostChanged = false;
    QDBusServiceWatcher* m_pWatcher = nullptr;
    // Qt decides once per process, at its first look for a notification area, whether icons
    // are StatusNotifierItems; this is the same question asked at the same moment.
    bool m_bStatusNotifier = false;
    std::unique_ptr<QMenu> m_pMenu;
    std::vector<PopupMenuItem> m_menuItems;
    bool m_bStarted = false;
    bool m_bX11 = false;
    uint32_t m_atomManager = 0;
    std::vector<uint32_t> m_trayAtoms; // _NET_SYSTEM_TRAY_S<n>, one per X screen
};
