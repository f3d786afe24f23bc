#include "ResourceIds.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/SettingsDlg.h"
#include "display/TrafficWnd.h"
#include "support/AppFixture.h"
#include "tray/MainDlg.h"
#include "tray/SystemTray.h"

#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

std::vector<QString> Keys(const std::vector<CFakeSettingsStore::Access>& accesses)
{
    std::vector<QString> keys;
    for (const auto& a : accesses)
        keys.push_back(a.key);
    return keys;
}

const std::vector<QString> kSixKeys = { "NetworkDevice", "GraphicScale", "MirrorMode",
    "Transparent", "TransparencyFocused", "TransparencyUnocused" };
const std::vector<QString> kRectKeys = { "rect.left", "rect.top", "rect.right", "rect.bottom" };

} // namespace

TEST(TrafficAppConstruction, HoldsTheDefaultsBeforeStartUp)
{
    CAppFixture fx;
    CTrafficApp& app = fx.App();
    EXPECT_EQ(app.m_nNetworkDevice, 0);
    EXPECT_EQ(app.m_nGraphicScale, 20480);
    EXPECT_EQ(app.m_bMirrorMode, 0);
    EXPECT_EQ(app.m_pMainDlg, nullptr);
    EXPECT_EQ(app.m_pTrafficWnd, nullptr);
    EXPECT_FALSE(app.m_trayIcon.has_value());
}

TEST(TrafficAppStartUp, FirstRunShowsTheWindowOpaqueOnInterfaceZeroWithTheIdleIcon)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();

    ASSERT_NE(app.m_pTrafficWnd, nullptr);
    EXPECT_TRUE(app.m_pTrafficWnd->isVisible());
    EXPECT_FALSE(app.m_pMainDlg->isVisible());
    EXPECT_EQ(app.m_pAboutDlg, nullptr) << "built on first use";
    EXPECT_EQ(app.m_pSettingsDlg, nullptr) << "built on first use";
    EXPECT_FALSE(app.AboutDlg().isVisible());
    EXPECT_FALSE(app.SettingsDlg().isVisible());
    EXPECT_EQ(app.m_pTrafficWnd->parentWidget(), app.m_pMainDlg);
    EXPECT_EQ(app.SettingsDlg().parentWidget(), app.m_pMainDlg);
    EXPECT_EQ(app.AboutDlg().parentWidget(), app.m_pMainDlg);

    ASSERT_EQ(fx.area.Messages(), std::vector<std::string> { "add" });
    const NotifyIconData& record = fx.area.calls[0].record;
    EXPECT_EQ(record.uID, 133u);
    EXPECT_EQ(record.uCallbackMessage, 0x8616u);
    EXPECT_STREQ(record.szTip, "Corvane by Mirelda");
    EXPECT_EQ(fx.icons.loaded.front(), IDI_IDLE) << "the tray's image is loaded first";
    EXPECT_EQ(record.hIcon.pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::darkGray));

    EXPECT_EQ(Keys(fx.store.reads), [] {
        auto keys = kSixKeys;
        keys.insert(keys.end(), kRectKeys.begin(), kRectKeys.end());
        return keys;
    }());
    EXPECT_TRUE(fx.store.writes.empty());
    for (CTrafficGraph* graph :
        { &app.m_pTrafficWnd->m_graphReceived, &app.m_pTrafficWnd->m_graphSent }) {
        EXPECT_EQ(graph->m_nDevice, 0);
        EXPECT_EQ(graph->m_nFullScale, 20480);
        EXPECT_EQ(graph->m_strScale, QStringLiteral("20 KB/s"));
        EXPECT_EQ(graph->m_bMirror, 0);
    }
    EXPECT_TRUE(fx.layered.log.empty()) << "a first run stays opaque";
}

TEST(TrafficAppStartUp, StoredSettingsReachTheFieldsTheWindowAndBothGraphs)
{
    CAppFixture fx;
    fx.Store("NetworkDevice", 1);
    fx.Store("GraphicScale", 1535); // not one of the list's values: used unchanged
    fx.Store("MirrorMode", 7);
    fx.Store("TransparencyFocused", 300);
    fx.Store("TransparencyUnocused", -1);
    CTrafficApp& app = fx.Start();
    CTrafficWnd& wnd = *app.m_pTrafficWnd;
    EXPECT_EQ(app.m_nNetworkDevice, 1);
    EXPECT_EQ(app.m_nGraphicScale, 1535);
    EXPECT_EQ(app.m_bMirrorMode, 1);
    EXPECT_EQ(wnd.m_nAlphaFocused, 300);
    EXPECT_EQ(wnd.m_nAlphaUnfocused, -1);
    EXPECT_EQ(wnd.m_graphSent.m_bMirror, 1);
    EXPECT_EQ(wnd.m_graphReceived.m_bMirror, 0) << "mirror mode turns only the sent graph";
    for (CTrafficGraph* graph : { &wnd.m_graphReceived, &wnd.m_graphSent }) {
        EXPECT_EQ(graph->m_nDevice, 1);
        EXPECT_EQ(graph->m_nFullScale, 1535);
        EXPECT_EQ(graph->m_strScale, QStringLiteral("1 KB/s"));
    }
}

TEST(TrafficAppStartUp, StoredTransparencyAppliesTheFocusedAlphaAfterTheWindowIsShown)
{
    CAppFixture fx;
    fx.Store("Transparent", 1);
    fx.Store("TransparencyFocused", 256 + 128);
    CTrafficApp& app = fx.Start();
    EXPECT_EQ(fx.layered.log, (std::vector<std::string> { "style 0x80000", "alpha 128 flags 2" }));
    EXPECT_EQ(fx.layered.alphas[app.m_pTrafficWnd], 128);
}

TEST(TrafficAppStartUp, ARefusedFirstAddIsMadeGoodAtTheNextActivityChange)
{
    CAppFixture fx;
    fx.area.answers = { false };
    CTrafficApp& app = fx.Start();
    EXPECT_TRUE(app.TrayIcon().m_bIconGone);
    fx.Tick();
    fx.SetCounters({ { u"lo", 100, 0 }, { u"eth0", 0, 0 } });
    fx.Tick();
    fx.Tick();
    EXPECT_FALSE(app.TrayIcon().m_bIconGone);
    EXPECT_EQ(fx.area.Messages(), (std::vector<std::string> { "add", "add" }));
}

namespace {

constexpr int kEdge = 1'000'000;

struct RectCase {
    const char* name;
    int left, top, right, bottom;
    bool applied;
};

class TrafficAppWindowRect : public ::testing::TestWithParam<RectCase> { };

} // namespace

TEST_P(TrafficAppWindowRect, AStoredRectangleIsAppliedWhenItTouchesOrOverlapsTheDesktop)
{
    const RectCase c = GetParam();
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    const int right = desktop.x() + desktop.width(), bottom = desktop.y() + desktop.height();
    // Values from kEdge on count from the desktop's right or bottom edge.
    auto resolve = [&](int v, int edge) { return v >= kEdge - 1000 ? edge + (v - kEdge) : v; };
    CAppFixture fx;
    const int l = resolve(c.left, right), t = resolve(c.top, bottom);
    const int r = resolve(c.right, right), b = resolve(c.bottom, bottom);
    fx.Store("rect.left", l);
    fx.Store("rect.top", t);
    fx.Store("rect.right", r);
    fx.Store("rect.bottom", b);
    CTrafficApp& app = fx.Start();
    const QPoint pos = app.m_pTrafficWnd->pos();
    if (c.applied)
        EXPECT_EQ(pos, QPoint(l, t));
    else
        EXPECT_NE(pos, QPoint(l, t));
}

INSTANTIATE_TEST_SUITE_P(Cases, TrafficAppWindowRect,
    ::testing::Values(RectCase { "inside", 100, 50, 274, 173, true },
        RectCase { "zero_width", 100, 50, 100, 173, false },
        RectCase { "zero_height", 100, 50, 274, 50, false },
        RectCase { "beyond_the_left_side", -400, 50, -226, 173, false },
        RectCase { "beyond_the_bottom", 100, kEdge + 1, 274, kEdge + 124, false },
        RectCase { "beyond_the_right_side", kEdge + 1, 50, kEdge + 175, 173, false },
        RectCase { "touching_the_left_edge", -174, 50, 0, 173, true },
        RectCase { "touching_the_right_edge", kEdge, 50, kEdge + 174, 173, true },
        RectCase { "touching_the_bottom_edge", 100, kEdge, 274, kEdge + 123, true },
        RectCase { "mostly_off_screen", -170, -100, 4, 23, true },
        RectCase { "inside_out", 274, 173, 100, 50, false }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrafficAppSettings, OkWritesTheSixSettingsAndExitWritesOnlyTheRectangle)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();
    app.m_pTrafficWnd->move(120, 80);
    app.SaveSettings();
    EXPECT_EQ(Keys(fx.store.writes), kSixKeys);

    fx.store.writes.clear();
    EXPECT_TRUE(app.OnCmdMsg(ID_APP_EXIT));
    EXPECT_EQ(Keys(fx.store.writes), kRectKeys);
    EXPECT_EQ(fx.store.writes[0].value, 120);
    EXPECT_EQ(fx.store.writes[1].value, 80);
    EXPECT_EQ(fx.store.writes[2].value, 120 + 174);
    EXPECT_EQ(fx.store.writes[3].value, 80 + 123);
    EXPECT_EQ(fx.exit.codes, std::vector<int> { 0 });
}

TEST(TrafficAppSettings, AFailedWriteLeavesTheValuesInForce)
{
    CAppFixture fx;
    fx.store.failWrites = true;
    CTrafficApp& app = fx.Start();
    app.m_nGraphicScale = 51200;
    app.SaveSettings();
    EXPECT_EQ(app.m_nGraphicScale, 51200);
}

TEST(TrafficAppCommands, ShowHideAndAboutOnlyChangeWhatIsVisible)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();
    EXPECT_TRUE(app.OnCmdMsg(ID_APP_SHOW));
    EXPECT_TRUE(app.m_pTrafficWnd->isVisible());
    EXPECT_TRUE(app.OnCmdMsg(ID_APP_HIDE));
    EXPECT_TRUE(app.OnCmdMsg(ID_APP_HIDE));
    EXPECT_FALSE(app.m_pTrafficWnd->isVisible());
    EXPECT_TRUE(app.OnCmdMsg(ID_APP_ABOUT));
    EXPECT_TRUE(app.AboutDlg().isVisible());
    EXPECT_FALSE(app.OnCmdMsg(57670)) << "no help command";
    EXPECT_TRUE(fx.store.writes.empty());
    EXPECT_TRUE(fx.exit.codes.empty());
}

TEST(TrafficAppShutdown, TearingDownRemovesTheTrayIconFirst)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();
    app.ExitInstance();
    EXPECT_EQ(fx.area.Messages(), (std::vector<std::string> { "add", "delete" }));
    EXPECT_EQ(app.m_pTrafficWnd, nullptr);
    app.ExitInstance(); // twice is harmless
    EXPECT_EQ(fx.area.Messages().size(), 2u);
}
