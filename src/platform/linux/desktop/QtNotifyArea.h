#pragma once

#include "platform/INotifyArea.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <vector>

class QAction;
class QDBusServiceWatcher;
class QMenu;
class QScreen;

// The notification area through QSystemTrayIcon: a StatusNotifierItem over D-Bus where a
// StatusNotifierWatcher has a host, XEmbed docking on X11 otherwise. A host that appears
// (again), a StatusNotifierItem host registered with the watcher or a new XEmbed tray manager
// announced by the MANAGER client message, is passed up as "TaskbarCreated"; a screen whose
// available geometry changes is passed up as a work-area change.
//
// Qt decides once per process, when it first looks for a notification area (the first
// QSystemTrayIcon or isSystemTrayAvailable()), whether icons are StatusNotifierItems or XEmbed
// windows: asked before any area runs, it picks XEmbed for good, and a StatusNotifierItem host
// that comes later never shows the icon. So Qt is not asked until an area of either kind is
// there: the D-Bus side is watched with signals and calls that do not wait, the X side by
// the tray managers' announcements. A StatusNotifierItem host is preferred: an XEmbed tray
// alone is taken only after a short wait for one, where a session bus could bring it.
//
// A StatusNotifierItem host shows the item's menu itself, read over D-Bus: there the tray
// menu is exported as the icon's context menu, filled from the receiver before it is shown,
// and its choices go back to the receiver. An XEmbed tray passes the right click on instead.
class CQtNotifyArea : public QObject, public INotifyArea, private QAbstractNativeEventFilter {
    Q_OBJECT
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

private slots:
    // The watcher's StatusNotifierHostRegistered signal.
    void OnHostRegistered();

private:
    // Connects to the session bus and watches for notification-area hosts; once.
    void Start();
    bool Add(const NotifyIconData& record);
    bool Modify(const NotifyIconData& record);
    // The receiver, callback message, image and tooltip the record's flags name.
    void Apply(const NotifyIconData& record);
    bool Delete();
    void SetImage(const QIcon& hIcon);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void FillMenu();
    void OnMenuTriggered(QAction* pAction);
    void HostAppeared();
    // Asks the watcher, without waiting, whether a host is registered now.
    void AskForStatusNotifierHost();
    void SetStatusNotifierHost(bool bRegistered);
    // Whether some X screen's tray selection has an owner (one round trip to the X server).
    bool XEmbedTrayPresent() const;
    // Whether an icon made now would show: Qt's choice once made, else either kind of area.
    bool AreaPresent();
    void WorkAreaChanged();
    void WatchScreen(QScreen* pScreen);
    void WatchXEmbedManagers();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Clicks on the icon in an XEmbed tray, seen before Qt's own handling of them.
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

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
    // A host that appeared since the icon was made gets a fresh icon object.
    bool m_bHostChanged = false;
    QDBusServiceWatcher* m_pWatcher = nullptr;
    // A StatusNotifierItem host is registered with the watcher, as far as its signals and the
    // answers to our questions have told.
    bool m_bStatusNotifierHost = false;
    // Qt has made its once-per-process choice (an icon was made), and which.
    bool m_bQtDecided = false;
    bool m_bStatusNotifier = false;
    // The wait for a StatusNotifierItem host once an XEmbed tray is there; when it is over,
    // the XEmbed tray is taken.
    QTimer m_xembedWait;
    bool m_bXEmbedWaited = false;
    std::unique_ptr<QMenu> m_pMenu;
    std::vector<PopupMenuItem> m_menuItems;
    bool m_bStarted = false;
    bool m_bX11 = false;
    uint32_t m_atomManager = 0;
    std::vector<uint32_t> m_trayAtoms; // _NET_SYSTEM_TRAY_S<n>, one per X screen
    // The left button is down on the icon in an XEmbed tray.
    bool m_bXEmbedPressed = false;
};
