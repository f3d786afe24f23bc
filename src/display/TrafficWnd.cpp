#include "display/TrafficWnd.h"

#include "ResourceIds.h"
#include "core/IApplication.h"
#include "display/DialogUnits.h"
#include "display/WindowAlpha.h"
#include "platform/IClock.h"
#include "platform/IConnectionState.h"
#include "platform/IDesktopShell.h"
#include "platform/INativeDrawing.h"
#include "platform/INotifyArea.h"
#include "platform/IResources.h"
#include "tray/SystemTray.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QTimer>
#include <QTimerEvent>
#include <QWindow>

namespace {

// Due times are compared wrap-safe: the 32-bit tick count wraps after 49.7 days.
bool IsDue(uint32_t now, uint32_t due)
{
    return int32_t(now - due) >= 0;
}

} // namespace

CTrafficWnd::CTrafficWnd(IApplication& app, QWidget* pParent)
    : QWidget(pParent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_meter(app.Services().perf)
    , m_graphReceived(app.Services().clock)
    , m_graphSent(app.Services().clock)
    , m_dwNextSecond(app.Services().clock.GetTickCount())
    , m_app(app)
    , m_automatic(app.Services().connection, app.Services().perf)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QStringLiteral("Corvane"));
}

CTrafficWnd::~CTrafficWnd()
{
    // The icons are shared resources of the program; only the references go.
    m_hIconIdle = m_hIconReceive = m_hIconSend = m_hIconBoth = QIcon();
}

bool CTrafficWnd::Create()
{
    // Template 132: a pop-up of 122 x 77 dialog units; the skin's size replaces it below.
    resize(CDialogUnits::X(122), CDialogUnits::Y(77));
    OnInitDialog();
    return true;
}

void CTrafficWnd::OnInitDialog()
{
    // Binding the two static controls attaches the graphs at the template's places.
    m_graphReceived.Attach(this, CDialogUnits::Rect(5, 4, 109, 33));
    m_graphSent.Attach(this, CDialogUnits::Rect(5, 40, 109, 33));
    m_graphReceived.setAttribute(Qt::WA_TransparentForMouseEvents);
    m_graphSent.setAttribute(Qt::WA_TransparentForMouseEvents);
    // Both graphs are repainted together, once a tick: one pass and one copy to the screen
    // instead of one per graph.
    m_graphReceived.m_bOwnerRepaints = true;
    m_graphSent.m_bOwnerRepaints = true;
    // Where the window system keeps pictures, each graph draws there itself instead.
    if (INativeDrawing* drawing = m_app.Services().drawing) {
        m_graphReceived.UseSurface(drawing->CreateGraphSurface());
        m_graphSent.UseSurface(drawing->CreateGraphSurface());
    }

    LoadSkin(IDB_SKIN);

    // The graphs are fed by m_meter; the application chooses its interface once the
    // settings are loaded.
    m_graphReceived.m_crLine = MakeColorRef(0, 255, 0);
    m_graphReceived.SetDirection(1);
    m_graphSent.m_crLine = MakeColorRef(255, 0, 0);
    m_graphSent.SetDirection(2);
    GraphSettings settings = m_app.GetGraphSettings();
    settings.strNetworkDeviceName = QString::fromStdString(m_meter.Name());
    ApplyGraphSettings(settings);

    // Topmost comes with the window flags; the window takes the skin's size.
    setFixedSize(m_nSkinWidth, m_nSkinHeight);
    if (INativeDrawing* drawing = m_app.Services().drawing) {
        setAttribute(Qt::WA_PaintOnScreen);
        m_bNativeSkin = SendSkin(*drawing);
        if (!m_bNativeSkin)
            setAttribute(Qt::WA_PaintOnScreen, false);
        // A screen of another ratio needs the skin at that ratio.
        if (QWindow* window = windowHandle(); window && m_bNativeSkin)
            connect(window, &QWindow::screenChanged, this, [this, drawing] {
                if (devicePixelRatioF() != m_skinRatio)
                    SendSkin(*drawing);
            });
    }

    m_graphReceived.move(5, 5);
    m_graphSent.move(5, 64);
    m_graphReceived.repaint();
    m_graphSent.repaint();

    m_nTimerId = startTimer(kTickMs, Qt::PreciseTimer);
}

bool CTrafficWnd::LoadSkin(int nId)
{
    QImage skin = m_app.Services().resources.LoadBitmap(nId);
    if (skin.isNull())
        return false;
    m_bmpSkin = std::move(skin);
    m_dcSkin = QPixmap();
    m_nSkinWidth = m_bmpSkin.width();
    m_nSkinHeight = m_bmpSkin.height();
    return true;
}

const QIcon& CTrafficWnd::IconForState(int nState)
{
    struct Lamp {
        QIcon CTrafficWnd::*icon;
        int nId;
    };
    static constexpr Lamp kLamps[] = { { &CTrafficWnd::m_hIconIdle, IDI_IDLE },
        { &CTrafficWnd::m_hIconSend, IDI_SEND }, { &CTrafficWnd::m_hIconReceive, IDI_RECEIVE },
        { &CTrafficWnd::m_hIconBoth, IDI_BOTH } };
    const Lamp& lamp = kLamps[nState >= 0 && nState <= 3 ? nState : 0];
    // Loaded when its state first shows, not at start-up: a quiet link never lights a lamp.
    QIcon& icon = this->*lamp.icon;
    if (icon.isNull())
        icon = m_app.Services().resources.LoadIcon(lamp.nId);
    return icon;
}

void CTrafficWnd::OnTimer(int)
{
    // A tick before the first frame (a window not shown yet, or slow to be) needs the tray.
    m_app.FinishStartup();
    const uint32_t now = m_app.Services().clock.GetTickCount();
    const bool receiving = now - m_dwLastReceive < kActivityMs;
    const bool sending = now - m_dwLastSend < kActivityMs;
    const int state = 2 * int(receiving) + int(sending);

    // The tray is told only on a change: shells burn CPU on icons that change often.
    if (state != m_nTrayState) {
        m_nTrayState = state;
        CSystemTray& tray = m_app.TrayIcon();
        tray.ChangeIcon(IconForState(state));
        if (tray.m_bIconHidden)
            tray.MakeVisible();
    }

    SampleGraphs();

    // This tick's activity lights the lamps from the next tick on.
    if (m_graphReceived.GetLastSample() != 0)
        m_dwLastReceive = now;
    if (m_graphSent.GetLastSample() != 0)
        m_dwLastSend = now;

    if (IsDue(now, m_dwNextSecond)) {
        m_graphReceived.UpdateLabels();
        m_graphSent.UpdateLabels();
        m_dwNextSecond = now + 1000;
        // Once a second at most, and only a changed text reaches the tray.
        m_app.TrayIcon().ChangeTip(TrayTip());
    }
    // Graphs drawn through Qt's raster path marked themselves when their picture changed:
    // paint them now, in one pass and one copy to the screen. Graphs drawn in the X server
    // have made their requests and marked nothing: send those in one write.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    m_graphReceived.FlushNative();
    m_graphSent.FlushNative();

    if (m_bTransparent) {
        const QPoint pointer = m_app.Services().shell.GetCursorPos();
        // QRect::contains takes the right and bottom edges as exclusive of left + width.
        const bool over = frameGeometry().contains(pointer);
        // While the settings dialog is open its sliders preview the alphas: only the pointer
        // coming onto the window or leaving it switches, as a change of focus would.
        if (!m_app.SettingsDlgShown() || over != m_bPointerOver)
            m_app.Alpha().SetWindowAlpha(this, (over ? m_nAlphaFocused : m_nAlphaUnfocused) & 0xFF);
        m_bPointerOver = over;
    }

    if (IsDue(now, m_dwSaveDue) && m_bMoved) {
        m_bMoved = 0;
        m_app.SaveWindowRect();
    }
}

void CTrafficWnd::SampleGraphs()
{
    if (m_settings.bAutomaticDevice)
        FollowDefaultRoute();
    double received = 0, sent = 0;
    m_meter.Read(received, sent);
    const bool connected = m_app.Services().connection.IsConnected();
    const bool fit = m_settings.bFitScale;
    m_graphReceived.Sample(received, connected, !fit);
    m_graphSent.Sample(sent, connected, !fit);
    if (fit) {
        // One full scale for both, set with the new points in view before either repaints.
        SetFullScales(FittedScale());
        m_graphReceived.Repaint();
        m_graphSent.Repaint();
    }
}

void CTrafficWnd::FollowDefaultRoute()
{
    if (!m_automatic.Changed())
        return;
    // With nothing to follow the graphs stay on what they read; before they read anything,
    // they take the first interface listed.
    const CAutomaticDevice::Choice choice = m_automatic.Choose(m_meter.Name().empty());
    if (!choice.name.empty() && choice.name != m_meter.Name())
        ChooseDevice(choice.name, choice.position);
}

int64_t CTrafficWnd::FittedScale() const
{
    return CTrafficGraph::FitStep(std::max(m_graphReceived.PeakRate(), m_graphSent.PeakRate()));
}

void CTrafficWnd::SetFullScales(int64_t nScale)
{
    if (nScale == m_graphSent.m_nFullScale && nScale == m_graphReceived.m_nFullScale)
        return;
    m_graphSent.SetFullScale(nScale);
    m_graphReceived.SetFullScale(nScale);
}

QString CTrafficWnd::TrayTip() const
{
    QString tip = m_app.Services().resources.LoadString(IDS_TOOLTIP);
    if (m_meter.Name().empty())
        return tip;
    tip += QLatin1Char('\n') + QString::fromStdString(m_meter.Name()) + QLatin1String(": ");
    if (m_meter.IsPresent())
        tip += m_graphReceived.m_strRate + QLatin1String(", ") + m_graphSent.m_strRate;
    else
        tip += QLatin1String("not present");
    return tip;
}

void CTrafficWnd::ApplyGraphSettings(const GraphSettings& settings)
{
    m_settings = settings;
    if (settings.bAutomaticDevice) {
        // Worked out now, then again whenever routes or links change.
        m_automatic.Forget();
        FollowDefaultRoute();
    } else {
        const std::string name = settings.strNetworkDeviceName.toStdString();
        if (name != m_meter.Name() || settings.nNetworkDevice != m_graphSent.m_nDevice)
            ChooseDevice(name, settings.nNetworkDevice);
    }
    const int64_t nScale = settings.bFitScale ? FittedScale() : settings.nGraphicScale;
    const bool rescaled
        = nScale != m_graphSent.m_nFullScale || nScale != m_graphReceived.m_nFullScale;
    // Set even when unchanged: the scale texts come with it.
    m_graphSent.SetFullScale(nScale);
    m_graphReceived.SetFullScale(nScale);
    if (rescaled) {
        m_graphSent.update();
        m_graphReceived.update();
    }
    m_graphSent.m_bMirror = settings.bMirrorMode ? 1 : 0;
}

GraphSettings CTrafficWnd::ShownGraphSettings() const
{
    GraphSettings shown = m_settings;
    shown.strNetworkDeviceName = QString::fromStdString(m_meter.Name());
    shown.nNetworkDevice = m_graphSent.m_nDevice;
    shown.bMirrorMode = m_graphSent.m_bMirror != 0;
    return shown;
}

void CTrafficWnd::ChooseDevice(const std::string& name, int position)
{
    m_meter.Choose(name);
    // Only primes: the next tick's difference starts now.
    double received = 0, sent = 0;
    m_meter.Read(received, sent);
    for (CTrafficGraph* graph : { &m_graphSent, &m_graphReceived }) {
        graph->m_nDevice = position;
        graph->ClearHistory();
    }
}

void CTrafficWnd::timerEvent(QTimerEvent* event)
{
    OnTimer(event->timerId());
}

void CTrafficWnd::OnSetFocus()
{
    if (m_bTransparent)
        m_app.Alpha().SetWindowAlpha(this, m_nAlphaFocused & 0xFF);
}

void CTrafficWnd::OnKillFocus()
{
    if (m_bTransparent)
        m_app.Alpha().SetWindowAlpha(this, m_nAlphaUnfocused & 0xFF);
}

void CTrafficWnd::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            OnSetFocus();
        else
            OnKillFocus();
    }
    QWidget::changeEvent(event);
}

void CTrafficWnd::showEvent(QShowEvent* event)
{
    // The show event comes before the window is mapped: the last moment to ask the taskbar,
    // and the pager to show the meter on every workspace.
    m_app.Services().shell.SkipTaskbar(this);
    m_app.Services().shell.ShowOnAllDesktops(this);
    // Shown again, the window stays where the user left it: a window manager that places
    // every window it maps anew (KWin centres it) leaves one alone that names its position.
    if (QWindow* window = windowHandle(); window && m_bPlaced)
        window->setFramePosition(window->framePosition());
    m_bPlaced = true;
    QWidget::showEvent(event);
    // The tray menu offers Hide now.
    m_app.Services().notifyArea.MenuChanged();
}

void CTrafficWnd::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_app.Services().notifyArea.MenuChanged();
}

void CTrafficWnd::OnMove()
{
    // Each move while visible restarts the wait, so a drag is saved once, after it ends.
    if (isVisible()) {
        m_bMoved = 1;
        m_dwSaveDue = m_app.Services().clock.GetTickCount() + kSaveDelayMs;
    }
}

void CTrafficWnd::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    OnMove();
}

void CTrafficWnd::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        // The move waits for the pointer to travel: a window manager's move grabs the pointer
        // and would swallow a double click's second press or a right click that follows.
        m_bLeftDown = true;
        m_bDragging = false;
        m_pressPos = event->globalPosition().toPoint();
        m_dragOffset = m_pressPos - pos();
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton) {
        m_bLeftDown = m_bDragging = false;
        OnContextMenu();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CTrafficWnd::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        m_bLeftDown = m_bDragging = false;
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    if (m_bLeftDown
        && (global - m_pressPos).manhattanLength()
            >= QGuiApplication::styleHints()->startDragDistance()) {
        m_bLeftDown = false;
        // Let the window manager move the window; without one, follow the pointer.
        QWindow* window = windowHandle();
        m_bDragging = !window || !window->startSystemMove();
    }
    if (m_bDragging)
        move(global - m_dragOffset);
    event->accept();
}

void CTrafficWnd::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bLeftDown = m_bDragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CTrafficWnd::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bLeftDown = m_bDragging = false;
        if (m_app.CanHide())
            hide();
    }
    QWidget::mouseDoubleClickEvent(event);
}

// The window cannot be closed, only hidden.
void CTrafficWnd::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

std::vector<PopupMenuItem> CTrafficWnd::ContextMenuItems() const
{
    std::vector<PopupMenuItem> items;
    // Without a tray icon nothing could bring a hidden window back: Hide waits for one.
    if (isVisible() && m_app.CanHide())
        items.push_back({ ID_APP_HIDE, QStringLiteral("&Hide"), false });
    else if (!isVisible())
        items.push_back({ ID_APP_SHOW, QStringLiteral("&Show"), false });
    items.push_back({ ID_WND_SETTINGS, QStringLiteral("&Settings"), false });
    items.push_back({ ID_WND_ABOUT, QStringLiteral("&About"), false });
    items.push_back({ ID_WND_SEPARATOR, QString(), true });
    items.push_back({ ID_WND_EXIT, QStringLiteral("E&xit"), false });
    return items;
}

void CTrafficWnd::OnContextMenu()
{
    const QPoint pos = m_app.Services().shell.GetCursorPos();
    const int id = m_app.Services().shell.TrackPopupMenu(ContextMenuItems(), pos, this);
    // The application opens the dialogs and ends the program, as for the tray menu.
    if (id != 0)
        m_app.OnTrafficWndCmd(id);
}

QPaintEngine* CTrafficWnd::paintEngine() const
{
    return m_bNativeSkin ? nullptr : QWidget::paintEngine();
}

void CTrafficWnd::paintEvent(QPaintEvent*)
{
    if (!m_bFramePainted) {
        // The first frame: once it is out, start-up does the rest, on the event loop.
        m_bFramePainted = true;
        QTimer::singleShot(0, this, [this] { m_app.FinishStartup(); });
    }
    if (m_bNativeSkin)
        return;
    QPainter painter(this);
    DrawSkin(painter);
}

void CTrafficWnd::DrawSkin(QPainter& painter)
{
    if (m_dcSkin.isNull() && !m_bmpSkin.isNull())
        m_dcSkin = QPixmap::fromImage(m_bmpSkin);
    painter.drawPixmap(0, 0, m_dcSkin, 0, 0, m_nSkinWidth, m_nSkinHeight);
}

bool CTrafficWnd::SendSkin(INativeDrawing& drawing)
{
    // The window system shows the picture pixel for pixel: paint it at the window's ratio,
    // as a paint of the window would.
    winId();
    const qreal ratio = devicePixelRatioF();
    QImage picture(QSize(m_nSkinWidth, m_nSkinHeight) * ratio, QImage::Format_RGB32);
    if (picture.isNull())
        return false;
    picture.setDevicePixelRatio(ratio);
    {
        QPainter painter(&picture);
        DrawSkin(painter);
    }
    // The server keeps the picture from now on.
    m_dcSkin = QPixmap();
    if (!drawing.SetWindowPicture(*this, picture))
        return false;
    m_skinRatio = ratio;
    return true;
}
