#include "platform/linux/desktop/QtNotifyArea.h"

#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbReply.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <xcb/xcb.h>

namespace {

constexpr uint32_t kLeftButtonUp = 0x0202;
constexpr uint32_t kLeftDoubleClick = 0x0203;
constexpr uint32_t kRightButtonUp = 0x0205;
constexpr uint32_t kMiddleButtonUp = 0x0208;

const char* const kWatcherService = "org.kde.StatusNotifierWatcher";
const char* const kWatcherPath = "/StatusNotifierWatcher";
// Xfce's panel, for one, brings its StatusNotifierItem host and its XEmbed tray together.
constexpr int kXEmbedWaitMs = 1000;

bool SameItems(const std::vector<PopupMenuItem>& a, const std::vector<PopupMenuItem>& b)
{
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const PopupMenuItem& x, const PopupMenuItem& y) {
            return x.id == y.id && x.text == y.text && x.separator == y.separator;
        });
}

// Tray hosts burn time on every image they are sent; send only the sizes panels draw.
QIcon SmallImages(const QIcon& hIcon)
{
    if (hIcon.isNull())
        return {};
    QIcon small;
    for (const int nSize : { 16, 22, 24, 32 })
        small.addPixmap(hIcon.pixmap(nSize, nSize));
    return small;
}

} // namespace

CQtNotifyArea::CQtNotifyArea() = default;

void CQtNotifyArea::Start()
{
    // The session bus and the X server are asked only when the icon is first added: after
    // the traffic window's first frame, not before it.
    if (m_bStarted)
        return;
    m_bStarted = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_pWatcher = new QDBusServiceWatcher(QString::fromLatin1(kWatcherService), bus,
            QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_pWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                SetStatusNotifierHost(false);
                if (!newOwner.isEmpty())
                    AskForStatusNotifierHost();
            });
        // From any sender: naming the watcher's service here would have Qt look up its owner
        // with a call that waits.
        bus.connect(QString(), QString::fromLatin1(kWatcherPath),
            QString::fromLatin1(kWatcherService), QStringLiteral("StatusNotifierHostRegistered"),
            this, SLOT(OnHostRegistered()));
        AskForStatusNotifierHost();
    }
    m_xembedWait.setSingleShot(true);
    m_xembedWait.setInterval(kXEmbedWaitMs);
    connect(&m_xembedWait, &QTimer::timeout, this, [this] {
        m_bXEmbedWaited = true;
        HostAppeared();
    });
    WatchXEmbedManagers();
    if (qGuiApp) {
        for (QScreen* pScreen : QGuiApplication::screens())
            WatchScreen(pScreen);
        connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* pScreen) {
            WatchScreen(pScreen);
            WorkAreaChanged();
        });
        connect(qGuiApp, &QGuiApplication::screenRemoved, this, &CQtNotifyArea::WorkAreaChanged);
    }
}

CQtNotifyArea::~CQtNotifyArea()
{
    if (m_bX11 && qGuiApp) {
        qGuiApp->removeNativeEventFilter(this);
        qGuiApp->removeEventFilter(this);
    }
}

void CQtNotifyArea::SetListener(INotifyAreaListener* pListener)
{
    m_pListener = pListener;
    if (pListener)
        Start();
}

bool CQtNotifyArea::ShellUsable()
{
    Start();
    // A host that is not running yet (the panel starts after the program at login) may come
    // later; only a desktop that can have none at all is unusable.
    return m_bX11 || m_pWatcher;
}

bool CQtNotifyArea::NotifyIcon(uint32_t dwMessage, const NotifyIconData& record)
{
    Start();
    switch (dwMessage) {
    case NIM_ADD:
        return Add(record);
    case NIM_MODIFY:
        return Modify(record);
    case NIM_DELETE:
        return Delete();
    default:
        return false;
    }
}

bool CQtNotifyArea::Add(const NotifyIconData& record)
{
    if (!AreaPresent())
        return false;
    if (m_pIcon && m_bHostChanged)
        m_pIcon.reset();
    m_bHostChanged = false;
    if (!m_pIcon) {
        if (!m_bQtDecided) {
            // Qt asks the watcher the same question now, and makes the same choice for good.
            m_bQtDecided = true;
            m_bStatusNotifier = m_bStatusNotifierHost;
            m_xembedWait.stop();
        }
        m_pIcon = std::make_unique<QSystemTrayIcon>();
        m_nImageKey = 0;
        connect(m_pIcon.get(), &QSystemTrayIcon::activated, this, &CQtNotifyArea::OnActivated);
        if (m_bStatusNotifier) {
            if (!m_pMenu) {
                m_pMenu = std::make_unique<QMenu>();
                connect(m_pMenu.get(), &QMenu::aboutToShow, this, &CQtNotifyArea::FillMenu);
                connect(m_pMenu.get(), &QMenu::triggered, this, &CQtNotifyArea::OnMenuTriggered);
            }
            m_pIcon->setContextMenu(m_pMenu.get());
        }
    }
    if (record.uFlags & NIF_MESSAGE)
        m_uID = record.uID;
    Apply(record);
    FillMenu();
    m_pIcon->show();
    return true;
}

void CQtNotifyArea::Apply(const NotifyIconData& record)
{
    if (record.uFlags & NIF_MESSAGE) {
        m_pReceiver = record.hWnd;
        m_uCallbackMessage = record.uCallbackMessage;
    }
    if (record.uFlags & NIF_ICON)
        SetImage(record.hIcon);
    if (record.uFlags & NIF_TIP)
        m_pIcon->setToolTip(QString::fromUtf8(record.szTip));
}

bool CQtNotifyArea::Modify(const NotifyIconData& record)
{
    if (!m_pIcon)
        return false;
    Apply(record);
    if ((record.uFlags & NIF_STATE) && (record.dwStateMask & NIS_HIDDEN))
        m_pIcon->setVisible(!(record.dwState & NIS_HIDDEN));
    // Asking the host whether it is still there costs a round trip (a D-Bus call) on every
    // image change; a host that went away announces itself when it comes back.
    return true;
}

bool CQtNotifyArea::Delete()
{
    if (!m_pIcon)
        return false;
    m_pIcon->hide();
    m_pIcon.reset();
    // The receiver may go next; the next add names it again.
    m_pReceiver = nullptr;
    return true;
}

void CQtNotifyArea::SetImage(const QIcon& hIcon)
{
    // The same image again is not sent again.
    const qint64 nKey = hIcon.isNull() ? -1 : hIcon.cacheKey();
    if (nKey == m_nImageKey)
        return;
    m_nImageKey = nKey;
    for (const auto& [key, small] : m_smallImages)
        if (key == nKey) {
            m_pIcon->setIcon(small);
            return;
        }
    // Enough for the program's own images; anything beyond is made afresh each time.
    constexpr size_t kMaxKept = 8;
    QIcon small = SmallImages(hIcon);
    if (m_smallImages.size() < kMaxKept)
        m_smallImages.emplace_back(nKey, small);
    m_pIcon->setIcon(small);
}

bool CQtNotifyArea::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick
        && type != QEvent::MouseButtonRelease)
        return false;
    // Only the left button on the icon docked in an XEmbed tray: Qt's widget there.
    if (static_cast<QMouseEvent*>(pEvent)->button() != Qt::LeftButton
        || !pWatched->inherits("QSystemTrayIconSys"))
        return false;
    // Qt reports the press as the click; the click is the release, so a double click shows
    // the window and hides it again.
    m_bXEmbedPressed = type != QEvent::MouseButtonRelease;
    if (!m_bXEmbedPressed)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_pReceiver)
                    m_pReceiver->OnTrayNotification(m_uCallbackMessage, m_uID, kLeftButtonUp);
            },
            Qt::QueuedConnection);
    return false;
}

void CQtNotifyArea::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    uint32_t uMouse = 0;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        // A press in an XEmbed tray: its release is the click.
        if (m_bXEmbedPressed)
            return;
        uMouse = kLeftButtonUp;
        break;
    case QSystemTrayIcon::Context:
        // The host shows the exported menu itself; a second one of our own would cover it.
        if (m_pMenu)
            return;
        uMouse = kRightButtonUp;
        break;
    case QSystemTrayIcon::DoubleClick:
        uMouse = kLeftDoubleClick;
        break;
    case QSystemTrayIcon::MiddleClick:
        uMouse = kMiddleButtonUp;
        break;
    default:
        return;
    }
    if (m_pReceiver)
        m_pReceiver->OnTrayNotification(m_uCallbackMessage, m_uID, uMouse);
}

void CQtNotifyArea::MenuChanged()
{
    // Asked from show and hide events, before the window's visibility has settled.
    if (m_pMenu)
        QMetaObject::invokeMethod(this, &CQtNotifyArea::FillMenu, Qt::QueuedConnection);
}

void CQtNotifyArea::FillMenu()
{
    if (!m_pMenu)
        return;
    std::vector<PopupMenuItem> items;
    if (m_pReceiver)
        items = m_pReceiver->TrayMenuItems();
    // Each change of the menu is a D-Bus signal the host answers with a fresh read: send one
    // only when the items really differ.
    if (SameItems(items, m_menuItems) && !m_pMenu->isEmpty())
        return;
    m_menuItems = items;
    m_pMenu->clear();
    for (const PopupMenuItem& item : items) {
        if (item.separator)
            m_pMenu->addSeparator();
        else
            m_pMenu->addAction(item.text)->setData(item.id);
    }
}

void CQtNotifyArea::OnMenuTriggered(QAction* pAction)
{
    const int nId = pAction ? pAction->data().toInt() : 0;
    // Answer the host's call first; the command may delete the icon and this menu with it.
    if (nId != 0)
        QMetaObject::invokeMethod(
            this,
            [this, nId] {
                if (m_pReceiver)
                    m_pReceiver->OnTrayMenuCommand(nId);
            },
            Qt::QueuedConnection);
}

void CQtNotifyArea::HostAppeared()
{
    m_bHostChanged = true;
    if (m_pListener)
        m_pListener->OnTaskbarCreated();
}

void CQtNotifyArea::AskForStatusNotifierHost()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(kWatcherService),
        QString::fromLatin1(kWatcherPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QString::fromLatin1(kWatcherService) << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pCall = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(pCall, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* p) {
        const QDBusPendingReply<QDBusVariant> reply = *p;
        p->deleteLater();
        // No watcher, or one that does not answer, is no host; its signal tells of a later one.
        if (!reply.isError() && reply.value().variant().toBool())
            SetStatusNotifierHost(true);
    });
}

void CQtNotifyArea::OnHostRegistered()
{
    SetStatusNotifierHost(true);
}

void CQtNotifyArea::SetStatusNotifierHost(bool bRegistered)
{
    const bool bAppeared = bRegistered && !m_bStatusNotifierHost;
    m_bStatusNotifierHost = bRegistered;
    // Once Qt has chosen XEmbed, a StatusNotifierItem host is not this process's area.
    if (bAppeared && (!m_bQtDecided || m_bStatusNotifier))
        HostAppeared();
}

bool CQtNotifyArea::XEmbedTrayPresent() const
{
    xcb_connection_t* pConnection = m_bX11 ? CXcbConnection::Get() : nullptr;
    if (!pConnection)
        return false;
    for (const uint32_t atom : m_trayAtoms) {
        const XcbReply<xcb_get_selection_owner_reply_t> pOwner(xcb_get_selection_owner_reply(
            pConnection, xcb_get_selection_owner(pConnection, atom), nullptr));
        if (pOwner && pOwner->owner != XCB_WINDOW_NONE)
            return true;
    }
    return false;
}

bool CQtNotifyArea::AreaPresent()
{
    if (m_bQtDecided)
        return m_bStatusNotifier ? m_bStatusNotifierHost : XEmbedTrayPresent();
    if (m_bStatusNotifierHost)
        return true;
    if (!XEmbedTrayPresent())
        return false;
    // Without a session bus no StatusNotifierItem host can come.
    if (!m_pWatcher || m_bXEmbedWaited)
        return true;
    if (!m_xembedWait.isActive())
        m_xembedWait.start();
    return false;
}

void CQtNotifyArea::WorkAreaChanged()
{
    if (m_pListener)
        m_pListener->OnSettingChange(SPI_SETWORKAREA);
}

void CQtNotifyArea::WatchScreen(QScreen* pScreen)
{
    connect(pScreen, &QScreen::availableGeometryChanged, this, &CQtNotifyArea::WorkAreaChanged);
}

void CQtNotifyArea::WatchXEmbedManagers()
{
    xcb_connection_t* pConnection = CXcbConnection::Get();
    if (!pConnection)
        return;
    m_bX11 = true;
    m_atomManager = CXcbConnection::InternAtom(pConnection, "MANAGER");
    // A new tray manager announces itself with a MANAGER client message to the root window,
    // which reaches clients that listen for structure changes there.
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(pConnection));
    for (int nScreen = 0; it.rem > 0; xcb_screen_next(&it), ++nScreen) {
        m_trayAtoms.push_back(CXcbConnection::InternAtom(
            pConnection, "_NET_SYSTEM_TRAY_S" + QByteArray::number(nScreen)));
        const xcb_window_t root = it.data->root;
        const XcbReply<xcb_get_window_attributes_reply_t> pAttributes(
            xcb_get_window_attributes_reply(
                pConnection, xcb_get_window_attributes(pConnection, root), nullptr));
        if (!pAttributes)
            continue;
        const uint32_t dwMask = pAttributes->your_event_mask;
        if (!(dwMask & XCB_EVENT_MASK_STRUCTURE_NOTIFY)) {
            const uint32_t dwNewMask = dwMask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(pConnection, root, XCB_CW_EVENT_MASK, &dwNewMask);
        }
    }
    xcb_flush(pConnection);
    qGuiApp->installNativeEventFilter(this);
    qGuiApp->installEventFilter(this);
}

bool CQtNotifyArea::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* pEvent = static_cast<const xcb_generic_event_t*>(message);
    if ((pEvent->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* pMessage = static_cast<const xcb_client_message_event_t*>(message);
    if (pMessage->format != 32 || m_atomManager == XCB_ATOM_NONE || pMessage->type != m_atomManager)
        return false;
    for (const uint32_t atom : m_trayAtoms)
        if (atom != XCB_ATOM_NONE && pMessage->data.data32[1] == atom) {
            // Leave the event to Qt as well, and answer once its own handling is done. Once Qt
            // has chosen StatusNotifierItems, an XEmbed tray is not this process's area.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_bQtDecided || !m_bStatusNotifier)
                        HostAppeared();
                },
                Qt::QueuedConnection);
            break;
        }
    return false;
}
