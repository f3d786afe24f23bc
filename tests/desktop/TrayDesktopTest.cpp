#include "display/WindowAlpha.h"
#include "fakes/FakeResources.h"
#include "fakes/FakeTrayReceiver.h"
#include "platform/linux/desktop/QtNotifyArea.h"
#include "platform/linux/x11/QtLayeredWindow.h"
#include "support/DesktopTest.h"
#include "support/XWindows.h"
#include "tray/SystemTray.h"

#include "ResourceIds.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QColor kIdle(0, 200, 0);
const QColor kBoth(0, 0, 255);
const QColor kSend(255, 0, 0);

// Whether the notification area's strip at the top of the screen shows a colour (8 x 8
// pixels at least), and where.
bool ShowsInTray(const QColor& colour, QRect* pWhere = nullptr)
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
    if (pWhere)
        *pWhere = found;
    return found.width() >= 8 && found.height() >= 8;
}

class TrayDesktopTest : public CDesktopTest {
protected:
    void SetUp() override
    {
        icons.colours = { { IDI_IDLE, kIdle }, { IDI_BOTH, kBoth }, { IDI_SEND, kSend } };
    }

    // The idle icon added for the receiver, and where the notification area shows it (an
    // empty rectangle, with a failure added, when it never appeared).
    std::unique_ptr<CSystemTray> Dock(CQtNotifyArea& area, QRect& where)
    {
        auto tray = std::make_unique<CSystemTray>(area, icons);
        if (!tray->CreateFromResource(
                &receiver, WM_TRAY_CALLBACK, "Corvane by Mirelda", IDI_IDLE, IDR_TRAYMENU))
            ADD_FAILURE() << "the icon was refused";
        if (!WaitFor([&] { return ShowsInTray(kIdle, &where); })) {
            ADD_FAILURE() << "image 135 never appeared in the notification area";
            where = QRect();
        }
        return tray;
    }

    CFakeResources icons;
    CFakeTrayReceiver receiver;
};

TEST_F(TrayDesktopTest, IconDocksChangesTakesClicksOnTheReleaseAndGoesAway)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtNotifyArea area;
    QRect where;
    auto tray = Dock(area, where);
    ASSERT_FALSE(where.isEmpty());
    ASSERT_NE(area.TrayIcon(), nullptr);
    EXPECT_EQ(area.TrayIcon()->toolTip(), "Corvane by Mirelda");
    const QStringList onIcon = MoveTo(where.center());

    // Resting the pointer on the icon brings up its tooltip.
    Xdotool(onIcon);
    EXPECT_TRUE(WaitFor([] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("QTipLabel"))
                return static_cast<QLabel*>(w)->text() == "Corvane by Mirelda";
        return false;
    })) << "no tooltip \"Corvane by Mirelda\" over the icon";

    EXPECT_TRUE(tray->ChangeIcon(icons.LoadIcon(IDI_BOTH)));
    EXPECT_TRUE(WaitFor([&] { return ShowsInTray(kBoth) && !ShowsInTray(kIdle); }))
        << "the icon's pixels did not change";

    // Each notice names the icon (133). An XEmbed icon clicks on the release, so a double
    // click is also two clicks.
    const auto leftClicks = [&] {
        return std::count_if(receiver.received.begin(), receiver.received.end(),
            [](const auto& n) { return (n.lParam & 0xFFFF) == WM_LBUTTONUP; });
    };
    const struct {
        const char* name;
        QStringList args;
        uintptr_t nMouse;
        int nLeftClicks;
    } clicks[] = { { "left", { "click", "1" }, WM_LBUTTONUP, 1 },
        { "right", { "click", "3" }, WM_RBUTTONUP, 0 },
        { "middle", { "click", "2" }, WM_MBUTTONUP, 0 },
        { "double", { "click", "--repeat", "2", "--delay", "80", "1" }, WM_LBUTTONDBLCLK, 2 } };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.name);
        session.WaitOutDoubleClick();
        receiver.received.clear();
        Xdotool(onIcon + c.args);
        ASSERT_TRUE(WaitFor([&] {
            return leftClicks() == c.nLeftClicks
                && std::any_of(receiver.received.begin(), receiver.received.end(),
                    [&](const auto& n) { return (n.lParam & 0xFFFF) == c.nMouse; });
        })) << leftClicks()
            << " left clicks";
        EXPECT_EQ(receiver.received[0].nMessage, WM_TRAY_CALLBACK);
        EXPECT_EQ(receiver.received[0].wParam, 133u);
        if (c.nMouse != WM_LBUTTONDBLCLK) {
            EXPECT_EQ(receiver.received[0].lParam & 0xFFFF, c.nMouse);
        }
    }

    session.WaitOutDoubleClick();
    receiver.received.clear();
    Xdotool(onIcon + QStringList { "mousedown", "1" });
    EXPECT_FALSE(WaitFor([&] { return leftClicks() > 0; }, 1000)) << "the press already clicked";
    Xdotool({ "mouseup", "1" });
    EXPECT_TRUE(WaitFor([&] { return leftClicks() == 1; })) << "the release did not click";

    tray.reset();
    EXPECT_TRUE(WaitFor([] { return !ShowsInTray(kBoth); })) << "the icon stayed after exit";
}

TEST_F(TrayDesktopTest, TrayHostRestartBringsTheIconBackWithTheLastImage)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtNotifyArea area;
    QRect where;
    const auto tray = Dock(area, where);
    tray->ChangeIcon(icons.LoadIcon(IDI_SEND));
    ASSERT_TRUE(WaitFor([] { return ShowsInTray(kSend); }));

    session.StopTray();
    ASSERT_TRUE(WaitFor([] { return !ShowsInTray(kSend); }));
    ASSERT_TRUE(session.StartTray());
    EXPECT_TRUE(WaitFor([&] { return ShowsInTray(kSend, &where); }))
        << "the icon did not come back after the notification area restarted";
    EXPECT_FALSE(ShowsInTray(kIdle));
    EXPECT_FALSE(tray->m_bIconHidden);
    EXPECT_FALSE(tray->m_bIconGone);

    // And it still answers clicks.
    receiver.received.clear();
    session.Click(where.center(), 1);
    ASSERT_TRUE(WaitFor([&] { return !receiver.received.empty(); }));
    EXPECT_EQ(receiver.received[0].lParam & 0xFFFF, WM_LBUTTONUP);
}

TEST_F(TrayDesktopTest, IconRefusedBeforeTheTrayStartsComesWithTheNextActivityChange)
{
    CORVANE_REQUIRE_DESKTOP();
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
    const std::vector<quint32> values
        = CDesktopSession::Instance().XWindows().Values(window.winId(), "_NET_WM_WINDOW_OPACITY");
    return values.empty() ? -1 : qint64(values[0]);
}

// Whether the opacity property shows the alpha's low byte. Full opacity may be written as
// the full value or as no property at all.
bool ShowsAlpha(qint64 value, int nAlpha)
{
    constexpr qint64 kFull = 4294967295;
    if ((nAlpha & 0xFF) == 255)
        return value == -1 || value == kFull;
    return value >= 0 && std::abs(value - (nAlpha & 0xFF) * kFull / 255) <= kFull / 1000;
}

class WindowAlphaDesktop : public CDesktopTest { };

TEST_F(WindowAlphaDesktop, OpacityPropertyFollowsTheAlpha)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtLayeredWindow platform;
    CWindowAlpha alpha(platform);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.resize(174, 123);
    window.show();
    ASSERT_TRUE(WaitFor([&] { return window.isVisible() && window.windowHandle(); }));

    qint64 value = -2;
    for (const int nAlpha : { 128, 200, 0, 255, 256 + 64 }) {
        SCOPED_TRACE(nAlpha);
        ASSERT_TRUE(alpha.SetWindowAlpha(&window, nAlpha));
        EXPECT_TRUE(alpha.IsLayered(&window));
        EXPECT_TRUE(
            WaitFor([&] { return ShowsAlpha(value = OpacityProperty(window), nAlpha); }, 5000))
            << value;
    }

    ASSERT_TRUE(alpha.SetWindowAlpha(&window, 128));
    ASSERT_TRUE(WaitFor([&] { return ShowsAlpha(OpacityProperty(window), 128); }));
    EXPECT_TRUE(alpha.RemoveLayeredStyle(&window));
    EXPECT_FALSE(alpha.IsLayered(&window));
    EXPECT_TRUE(WaitFor([&] { return ShowsAlpha(value = OpacityProperty(window), 255); }, 5000))
        << "still " << value << " after the window stopped being layered";
}

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

class QtNotifyAreaDesktop : public CDesktopTest { };

TEST_F(QtNotifyAreaDesktop, NewTrayManagerAndMovedWorkAreaAreAnnounced)
{
    CORVANE_REQUIRE_DESKTOP();
    CQtNotifyArea area;
    CListenerSpy spy;
    area.SetListener(&spy);
    EXPECT_TRUE(area.ShellUsable());
    EXPECT_TRUE(area.StateSupported());
    session.StopTray();
    // Qt keeps calling the tray available after its host went; the host's window is what goes.
    ASSERT_TRUE(WaitFor([&] { return !session.XWindows().WithClass("panel"); }))
        << "the notification area's window outlived its host";
    EXPECT_EQ(spy.nTaskbarCreated, 0);
    ASSERT_TRUE(session.StartTray());
    EXPECT_TRUE(WaitFor([&] { return spy.nTaskbarCreated > 0; }));
    EXPECT_EQ(spy.nTaskbarCreated, 1) << "a new tray manager is one taskbar creation";

    // What a window manager does when a panel takes a strip of the screen.
    spy.settings.clear();
    const int nTop = QGuiApplication::primaryScreen()->availableGeometry().top() == 40 ? 48 : 40;
    session.Run("xprop",
        { "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA",
            QString("0,%1,1024,%2").arg(nTop).arg(768 - nTop) });
    EXPECT_TRUE(WaitFor([&] { return !spy.settings.empty(); }, 5000));
    for (const uintptr_t wParam : spy.settings)
        EXPECT_EQ(wParam, SPI_SETWORKAREA);
    area.SetListener(nullptr);
}

} // namespace
