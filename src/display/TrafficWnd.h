#pragma once

#include "core/IApplication.h"
#include "display/TrafficGraph.h"
#include "traffic/AutomaticDevice.h"
#include "traffic/InterfaceMeter.h"

#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <cstdint>
#include <vector>

class INativeDrawing;
class QPainter;
struct PopupMenuItem;

// The small borderless window that stays on the desktop: the wooden skin with the received
// graph above and the sent graph below. Its 200 ms timer is the program's heartbeat: every
// tick samples both graphs and sets the tray icon's activity lamps; once a second it
// refreshes the rate texts; it applies the hover transparency and saves the window position
// five seconds after the window was last moved.
class CTrafficWnd : public QWidget {
public:
    static constexpr int kTickMs = 200;
    static constexpr uint32_t kActivityMs = 300;
    static constexpr uint32_t kSaveDelayMs = 5000;

    CTrafficWnd(IApplication& app, QWidget* pParent);
    ~CTrafficWnd() override;

    // Creates the window from its template, hidden, and runs its initialisation.
    bool Create();
    bool LoadSkin(int nId);

    // Handlers, public so the program's logic can be driven without a window system.
    void OnTimer(int nIdEvent);
    void OnSetFocus();
    void OnKillFocus();
    void OnMove();
    void OnContextMenu();
    // The items of the context menu as it would be shown now.
    std::vector<PopupMenuItem> ContextMenuItems() const;

    // What both graphs show: the named interface, its position being its place in a list just
    // read (kept for the graphs' m_nDevice), or, Automatic, the interface of the default route
    // whichever it is from tick to tick; the full scale in bytes per second, or one fitted
    // to what both graphs show; and mirror mode, which turns only the sent graph upside down.
    // Another interface starts the graphs' history and counts afresh; the one they read
    // already keeps them.
    void ApplyGraphSettings(const GraphSettings& settings);
    // What the graphs show now: the interface by the name and position it has now, and the
    // fixed full scale even while the scale is fitted.
    GraphSettings ShownGraphSettings() const;
    // One reading of the chosen interface and one connection check feed both graphs.
    void SampleGraphs();
    // The tray icon's tooltip: the program's name, then the interface and its last rates.
    QString TrayTip() const;

    // The interface both graphs read, followed by name through renames and re-creation.
    CInterfaceMeter m_meter;

    CTrafficGraph m_graphReceived;
    CTrafficGraph m_graphSent;
    QPixmap m_dcSkin; // the skin as the screen wants it; made at the first paint
    QImage m_bmpSkin;
    int m_nSkinWidth = 0;
    int m_nSkinHeight = 0;
    int m_nTimerId = 1;
    QIcon m_hIconIdle;
    QIcon m_hIconReceive;
    QIcon m_hIconSend;
    QIcon m_hIconBoth;
    uint32_t m_dwLastReceive = 0; // tick count of the last received activity
    uint32_t m_dwLastSend = 0;
    int m_nTrayState = 0; // 2 x receiving + sending, as last given to the tray
    uint32_t m_dwNextSecond;
    uint8_t m_bTransparent = 0;
    int m_nAlphaFocused = 100;
    int m_nAlphaUnfocused = 100;
    uint8_t m_bMoved = 0; // a position save is pending
    uint32_t m_dwSaveDue = 0;

protected:
    void paintEvent(QPaintEvent* event) override;
    QPaintEngine* paintEngine() const override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnInitDialog();
    void ChooseDevice(const std::string& name, int position);
    // Automatic: takes the interface of the default route when routes or links changed.
    void FollowDefaultRoute();
    // The smallest step of the fitted scales that holds the largest point either graph shows.
    int64_t FittedScale() const;
    // Both graphs at this full scale.
    void SetFullScales(int64_t nScale);
    const QIcon& IconForState(int nState);
    void DrawSkin(QPainter& painter);
    // Makes the skin at the window's ratio the picture the window system shows by itself.
    bool SendSkin(INativeDrawing& drawing);

    IApplication& m_app;
    GraphSettings m_settings; // as last applied
    CAutomaticDevice m_automatic;
    // The window system shows the skin by itself: Qt paints nothing on this window.
    bool m_bNativeSkin = false;
    qreal m_skinRatio = 0; // of the skin the window system has
    bool m_bFramePainted = false;
    // Where the window manager offers no move of its own, the window follows the pointer.
    // The left button is down on the window and no move has started yet.
    bool m_bLeftDown = false;
    QPoint m_pressPos;
    bool m_bDragging = false;
    QPoint m_dragOffset;
    // The pointer was over the window at the last tick.
    bool m_bPointerOver = false;
    // The window has been shown: its place is the user's from now on.
    bool m_bPlaced = false;
};
