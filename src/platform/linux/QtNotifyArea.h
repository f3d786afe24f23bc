#pragma once

#include "platform/INotifyArea.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>
#include <vector>

class QDBusServiceWatcher;
class QScreen;

// The notification area through QSystemTrayIcon: a StatusNotifierItem over D-Bus where a
// StatusNotifierWatcher runs, XEmbed docking on X11 otherwise. A host that appears (again),
// a new owner of org.kde.StatusNotifierWatcher or a new XEmbed tray manager announced by
// the MANAGER client message, is passed up as "TaskbarCreated"; a screen whose available
// geometry changes is passed up as a work-area change.
class CQtNotifyArea : public QObject, public INotifyArea, private QAbstractNativeEventFilter {
public:
    CQtNotifyArea();
    ~CQtNotifyArea() override;

    bool ShellUsable() override;
    bool StateSupported() override { return true; }
    bool NotifyIcon(uint32_t dwMessage, const NotifyIconData& record) override;
    void SetListener(INotifyAreaListener* pListener) override { m_pListener = pListener; }

    // For checks on a real desktop: the icon as the area has it, or nullptr.
    const QSystemTrayIcon* TrayIcon() const { return m_pIcon.get(); }

private:
    bool Add(const NotifyIconData& record);
    bool Modify(const NotifyIconData& record);
    bool Delete();
    void SetImage(const QIcon& hIcon);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
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
    // A host that appeared since the icon was made may want a fresh icon object: Qt picks
    // between D-Bus and XEmbed only when a QSystemTrayIcon is created.
    bool m_bHostChanged = false;
    QDBusServiceWatcher* m_pWatcher = nullptr;
    bool m_bX11 = false;
    uint32_t m_atomManager = 0;
    std::vector<uint32_t> m_trayAtoms; // _NET_SYSTEM_TRAY_S<n>, one per X screen
};
