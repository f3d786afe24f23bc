#include "display/WindowAlpha.h"
#include "fakes/FakeResources.h"
#include "fakes/FakeTrayReceiver.h"
#include "platform/linux/desktop/QtNotifyArea.h"
#include "platform/linux/x11/QtLayeredWindow.h"
#include "support/DesktopSession.h"
#include "tray/SystemTray.h"

#include "ResourceIds.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QRect>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QColor kIdle(0, 200, 0);
const QColor kBoth(0, 0, 255);
const QColor kSend(255, 0, 0);

bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = 10000)
{
    return CDesktopSession::WaitFor(done, nTimeoutMs);
}

// Where the screen shows a colour, within the notification area's strip at the top.
QRect FindInTray(const QColor& colour)
{
    const QImage shot = CDesktopSession::Instance().Screenshot();
    QRect found;
    for (int y = 0; y < std::min(shot.height(), 40); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 8 && std::abs(c.green() - colour.green()) < 8
                && std::abs(c.blue() - colour.blue()) < 8)
                found |= QRect(x, y, 1, 1);
        }
    return found;
}

bool ShowsInTray(const QColor& colour, QRect* pWhere = nullptr)
{
    const QRect where = FindInTray(colour);
    if (pWhere)
        *pWhere = where;
    return where.width() >= 8 && where.height() >= 8;
}

void Click(const QPoint& at, int nButton)
{
    CDesktopSession::Instance().Click(at, nButton);
}

class TrayDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        icons.colours = { { IDI_IDLE, kIdle }, { IDI_BOTH, kBoth }, { IDI_SEND, kSend } };
    }
    void TearDown() override
    {
        CDesktopSession& session = CDesktopSession::Instance();
        if (session.Running() && !session.TrayRunning())
            session.StartTray();
    }

    // The idle icon added for the receiver, and where the notification area shows it (an
    // empty rectangle when it never appeared).
    std::unique_ptr<CSystemTray> Dock(CQtNotifyArea& area, QRect& where)
    {
        auto tray = std::make_unique<CSystemTray>(area, icons);
        tray->CreateFromResource(
            &receiver, WM_TRAY_CALLBACK, "Corvane by Mirelda", IDI_IDLE, IDR_TRAYMENU);
        if (!WaitFor([&] { return ShowsInTray(kIdle, &where); }))
            where = QRect();
        return tray;
    }

    CFakeResources icons;
    CFakeTrayReceiver receiver;
};

TEST_F(TrayDesktopTest, IconDocksChangesTakesClicksAndGoesAway)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtNotifyArea area;
    auto tray = std::make_unique<CSystemTray>(area, icons);
    ASSERT_TRUE(tray->CreateFromResource(
        &receiver, WM_TRAY_CALLBACK, "Corvane by Mirelda", IDI_IDLE, IDR_TRAYMENU));
    QRect where;
    ASSERT_TRUE(WaitFor([&] { return ShowsInTray(kIdle, &where); }))
        << "image 135 never appeared in the notification area";
    ASSERT_NE(area.TrayIcon(), nullptr);
    EXPECT_EQ(area.TrayIcon()->toolTip(), "Corvane by Mirelda");

    // Resting the pointer on the icon brings up its tooltip.
    CDesktopSession::Instance().Run("xdotool",
        { "mousemove", QString::number(where.center().x()), QString::number(where.center().y()) });
    EXPECT_TRUE(WaitFor([] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("QTipLabel"))
                return static_cast<QLabel*>(w)->text() == "Corvane by Mirelda";
        return false;
    })) << "no tooltip \"Corvane by Mirelda\" over the icon";

    EXPECT_TRUE(tray->ChangeIcon(icons.LoadIcon(IDI_BOTH)));
    EXPECT_TRUE(WaitFor([&] { return ShowsInTray(kBoth) && !ShowsInTray(kIdle); }))
        << "the icon's pixels did not change";

    struct {
        int nButton;
        uintptr_t nMouse;
    } clicks[] = { { 1, WM_LBUTTONUP }, { 3, WM_RBUTTONUP } };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.nButton);
        receiver.received.clear();
        Click(where.center(), c.nButton);
        ASSERT_TRUE(WaitFor([&] { return !receiver.received.empty(); }));
        EXPECT_EQ(receiver.received[0].nMessage, WM_TRAY_CALLBACK);
        EXPECT_EQ(receiver.received[0].wParam, 133u);
        EXPECT_EQ(receiver.received[0].lParam & 0xFFFF, c.nMouse);
    }

    // A middle click, and a double click, which comes after the first click's own notice.
    const struct {
        QStringList args;
        uintptr_t nMouse;
    } more[] = { { { "click", "2" }, WM_MBUTTONUP },
        { { "click", "--repeat", "2", "--delay", "80", "1" }, WM_LBUTTONDBLCLK } };
    for (const auto& c : more) {
        SCOPED_TRACE(c.nMouse);
        receiver.received.clear();
        CDesktopSession::Instance().Run("xdotool",
            QStringList { "mousemove", QString::number(where.center().x()),
                QString::number(where.center().y()) }
                + c.args);
        EXPECT_TRUE(WaitFor([&] {
            for (const auto& n : receiver.received)
                if (n.nMessage == WM_TRAY_CALLBACK && (n.lParam & 0xFFFF) == c.nMouse)
                    return true;
            return false;
        }));
    }

    tray.reset();
    EXPECT_TRUE(WaitFor([] { return !ShowsInTray(kBoth); })) << "the icon stayed after exit";
}

TEST_F(TrayDesktopTest, AnXEmbedIconClicksOnTheReleaseSoADoubleClickIsTwoClicks)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtNotifyArea area;
    QRect where;
    const auto tray = Dock(area, where);
    ASSERT_FALSE(where.isEmpty()) << "the icon never appeared";
    const auto clicks = [&] {
        return std::count_if(receiver.received.begin(), receiver.received.end(),
            [](const auto& n) { return (n.lParam & 0xFFFF) == WM_LBUTTONUP; });
    };
    CDesktopSession& session = CDesktopSession::Instance();
    const QString x = QString::number(where.center().x()), y = QString::number(where.center().y());

    session.WaitOutDoubleClick();
    session.Run("xdotool", { "mousemove", x, y, "mousedown", "1" });
    EXPECT_FALSE(WaitFor([&] { return clicks() > 0; }, 1000)) << "the press already clicked";
    session.Run("xdotool", { "mouseup", "1" });
    EXPECT_TRUE(WaitFor([&] { return clicks() == 1; })) << "the release did not click";

    session.WaitOutDoubleClick();
    receiver.received.clear();
    session.Run("xdotool", { "click", "--repeat", "2", "--delay", "80", "1" });
    EXPECT_TRUE(WaitFor([&] { return clicks() == 2; })) << clicks() << " clicks";
}

TEST_F(TrayDesktopTest, TrayHostRestartBringsTheIconBackWithTheLastImage)
{
    CORVANE_REQUIRE_DESKTOP();
    CDesktopSession& session = CDesktopSession::Instance();
    CQtNotifyArea area;
    CSystemTray tray(area, icons);
    ASSERT_TRUE(tray.CreateFromResource(
        &receiver, WM_TRAY_CALLBACK, "Corvane by Mirelda", IDI_IDLE, IDR_TRAYMENU));
    tray.ChangeIcon(icons.LoadIcon(IDI_SEND));
    ASSERT_TRUE(WaitFor([] { return ShowsInTray(kSend); }));

    session.StopTray();
    ASSERT_TRUE(WaitFor([] { return !ShowsInTray(kSend); }));
    ASSERT_TRUE(session.StartTray());
    EXPECT_TRUE(WaitFor([] { return ShowsInTray(kSend); }))
        << "the icon did not come back after the notification area restarted";
    EXPECT_FALSE(ShowsInTray(kIdle));
    EXPECT_FALSE(tray.m_bIconHidden);
    EXPECT_FALSE(tray.m_bIconGone);

    // And it still answers clicks.
    QRect where;
    ASSERT_TRUE(ShowsInTray(kSend, &where));
    receiver.received.clear();
    Click(where.center(), 1);
    ASSERT_TRUE(WaitFor([&] { return !receiver.received.empty(); }));
    EXPECT_EQ(receiver.received[0].lParam & 0xFFFF, WM_LBUTTONUP);
}

TEST_F(TrayDesktopTest, IconRefusedBeforeTheTrayStartsComesWithTheNextActivityChange)
{
    CORVANE_REQUIRE_DESKTOP();
    CDesktopSession& session = CDesktopSession::Instance();
    session.StopTray();
    ASSERT_TRUE(WaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
    CQtNotifyArea area;
    CSystemTray tray(area, icons);
    EXPECT_FALSE(tray.CreateFromResource(
        &receiver, WM_TRAY_CALLBACK, "Corvane by Mirelda", IDI_IDLE, IDR_TRAYMENU));
    EXPECT_TRUE(tray.m_bShellUsable);
    EXPECT_TRUE(tray.m_bIconGone);

    ASSERT_TRUE(session.StartTray());
    WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); });
    // What the traffic window does on its next activity change.
    tray.ChangeIcon(icons.LoadIcon(IDI_BOTH));
    if (tray.m_bIconHidden) {
        EXPECT_TRUE(tray.MakeVisible());
    }
    EXPECT_TRUE(WaitFor([] { return ShowsInTray(kBoth); }));
}

// _NET_WM_WINDOW_OPACITY as the X server has it, or -1 when the window has none.
qint64 OpacityProperty(QWidget& window)
{
    const QString out = CDesktopSession::Instance().Run(
        "xprop", { "-id", QString::number(window.winId()), "_NET_WM_WINDOW_OPACITY" });
    const int eq = out.indexOf('=');
    if (eq < 0)
        return -1;
    bool ok = false;
    const qint64 value = out.mid(eq + 1).trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

TEST(WindowAlphaDesktop, OpacityPropertyFollowsTheAlpha)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtLayeredWindow platform;
    CWindowAlpha alpha(platform);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.resize(174, 123);
    window.show();
    ASSERT_TRUE(WaitFor([&] { return window.isVisible() && window.windowHandle(); }));

    constexpr double kFull = 4294967295.0;
    for (const int nAlpha : { 128, 200, 0, 255, 256 + 64 }) {
        SCOPED_TRACE(nAlpha);
        ASSERT_TRUE(alpha.SetWindowAlpha(&window, nAlpha));
        EXPECT_TRUE(alpha.IsLayered(&window));
        const double expected = (nAlpha & 0xFF) / 255.0 * kFull;
        qint64 value = -2;
        WaitFor(
            [&] {
                value = OpacityProperty(window);
                // Full opacity may be written as the full value or as no property at all.
                if ((nAlpha & 0xFF) == 255)
                    return value == -1 || value == 4294967295;
                return value >= 0 && std::abs(value - expected) <= kFull / 1000;
            },
            5000);
        if ((nAlpha & 0xFF) == 255) {
            EXPECT_TRUE(value == -1 || value == 4294967295) << value;
        } else {
            EXPECT_NEAR(static_cast<double>(value), expected, kFull / 1000);
        }
    }

    ASSERT_TRUE(alpha.SetWindowAlpha(&window, 128));
    ASSERT_TRUE(
        WaitFor([&] { return std::abs(OpacityProperty(window) - kFull / 2) < kFull / 100; }));
    EXPECT_TRUE(alpha.RemoveLayeredStyle(&window));
    EXPECT_FALSE(alpha.IsLayered(&window));
    qint64 value = -2;
    EXPECT_TRUE(WaitFor(
        [&] {
            value = OpacityProperty(window);
            return value == -1 || value == 4294967295;
        },
        5000))
        << "still " << value << " after the window stopped being layered";
}

} // namespace

namespace {

class CListenerSpy : public INotifyAreaListener {
public:
    long OnTaskbarCreated() override
    {
        ++nTaskbarCreated;
        return 0;
    }
    long OnSettingChange(uintptr_t wParam) override
    {
        settings.push_back(wParam);
        return 0;
    }
    int nTaskbarCreated = 0;
    std::vector<uintptr_t> settings;
};

TEST(QtNotifyAreaDesktop, NewTrayManagerIsAnnouncedAsTaskbarCreated)
{
    CORVANE_REQUIRE_DESKTOP();
    CDesktopSession& session = CDesktopSession::Instance();
    CQtNotifyArea area;
    CListenerSpy spy;
    area.SetListener(&spy);
    EXPECT_TRUE(area.ShellUsable());
    EXPECT_TRUE(area.StateSupported());
    session.StopTray();
    // Qt keeps calling the tray available after its host went; the host's window is what goes.
    ASSERT_TRUE(WaitFor([&] {
        int code = -1;
        session.Run("xdotool", { "search", "--classname", "panel" }, &code, 2000);
        return code == 1;
    })) << "the notification area's window outlived its host";
    EXPECT_EQ(spy.nTaskbarCreated, 0);
    ASSERT_TRUE(session.StartTray());
    EXPECT_TRUE(WaitFor([&] { return spy.nTaskbarCreated > 0; }));
    EXPECT_EQ(spy.nTaskbarCreated, 1);
    area.SetListener(nullptr);
}

TEST(QtNotifyAreaDesktop, MovedWorkAreaIsAnnouncedAsSettingChange)
{
    CORVANE_REQUIRE_DESKTOP();
    CDesktopSession& session = CDesktopSession::Instance();
    CQtNotifyArea area;
    CListenerSpy spy;
    area.SetListener(&spy);
    // What a window manager does when a panel takes a strip of the screen.
    const QRect before = QGuiApplication::primaryScreen()->availableGeometry();
    const int nTop = before.top() == 40 ? 48 : 40;
    session.Run("xprop",
        { "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA",
            QString("0,%1,1024,%2").arg(nTop).arg(768 - nTop) });
    EXPECT_TRUE(WaitFor([&] { return !spy.settings.empty(); }, 5000));
    for (const uintptr_t wParam : spy.settings)
        EXPECT_EQ(wParam, SPI_SETWORKAREA);
    area.SetListener(nullptr);
}

} // namespace
