#include "ResourceIds.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/DialogPlacement.h"
#include "dialogs/SettingsDlg.h"
#include "display/TrafficWnd.h"
#include "settings/IniSettingsStore.h"
#include "support/AppFixture.h"
#include "support/NamedRows.h"
#include "tray/MainDlg.h"
#include "tray/SystemTray.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<QString> Keys(const std::vector<CFakeSettingsStore::Access>& accesses)
{
    std::vector<QString> keys;
    for (const auto& a : accesses)
        keys.push_back(a.key);
    return keys;
}

// The integer settings, in the order they are read and written.
const std::vector<QString> kSettingKeys
    = { "NetworkDevice", "NetworkDeviceAutomatic", "GraphicScale", "GraphicScaleFit", "MirrorMode",
          "Transparent", "TransparencyFocused", "TransparencyUnocused" };
const std::vector<QString> kRectKeys = { "rect.left", "rect.top", "rect.right", "rect.bottom" };

} // namespace

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
    // The dialogs are the traffic window's transients, kept in front of it.
    EXPECT_EQ(app.SettingsDlg().parentWidget(), app.m_pTrafficWnd);
    EXPECT_EQ(app.AboutDlg().parentWidget(), app.m_pTrafficWnd);

    ASSERT_EQ(fx.area.Messages(), std::vector<std::string> { "add" });
    const NotifyIconData& record = fx.area.calls[0].record;
    EXPECT_EQ(record.uID, 133u);
    EXPECT_EQ(record.uCallbackMessage, 0x8616u);
    EXPECT_STREQ(record.szTip, "Corvane by Mirelda");
    std::vector<uint16_t> trayImages = fx.resources.loaded;
    std::erase(trayImages, uint16_t(IDR_MAINFRAME)); // the main window's own icon
    EXPECT_EQ(trayImages.front(), IDI_IDLE) << "the tray's image is loaded first";
    EXPECT_EQ(record.hIcon.pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::darkGray));

    EXPECT_EQ(Keys(fx.store.reads), [] {
        auto keys = kSettingKeys;
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

TEST(TrafficAppStartUp, TheTrayIconAndWindowIconWaitForTheFirstFrame)
{
    CAppFixture fx;
    CTrafficApp& app = fx.App();
    EXPECT_EQ(app.m_pTrafficWnd, nullptr);
    EXPECT_FALSE(app.m_trayIcon.has_value());
    app.InitInstance();
    EXPECT_TRUE(app.m_pTrafficWnd->isVisible());
    EXPECT_TRUE(fx.area.calls.empty()) << "nothing asked of the notification area yet";
    EXPECT_TRUE(app.m_pMainDlg->windowIcon().isNull());
    // The first frame is painted on the event loop; the rest of start-up follows it there.
    for (int i = 0; i < 50 && fx.area.calls.empty(); ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(fx.area.Messages(), std::vector<std::string> { "add" });
    EXPECT_FALSE(app.m_pMainDlg->windowIcon().isNull());
    EXPECT_FALSE(app.m_pTrafficWnd->windowIcon().isNull()) << "inherited from the main window";
    app.FinishStartup();
    EXPECT_EQ(fx.area.Messages(), std::vector<std::string> { "add" }) << "only once";

    // A tick before any frame (the window slow to appear) makes the tray icon first.
    CAppFixture early;
    early.App().InitInstance();
    early.SetCounters({ { u"lo", 0, 0 }, { u"eth0", 5000, 0 } });
    early.Tick();
    early.Tick();
    ASSERT_FALSE(early.area.Messages().empty());
    EXPECT_EQ(early.area.Messages().front(), "add");
}

TEST(TrafficAppStartUp, StoredSettingsReachTheFieldsTheWindowAndBothGraphs)
{
    CAppFixture fx;
    fx.Store("NetworkDevice", 1);
    fx.Store("GraphicScale", 1535); // not one of the list's values: used unchanged
    fx.Store("MirrorMode", 7);
    fx.Store("Transparent", 1);
    fx.Store("TransparencyFocused", 256 + 128); // applied as 128 once the window is shown
    fx.Store("TransparencyUnocused", -1);
    CTrafficApp& app = fx.Start();
    CTrafficWnd& wnd = *app.m_pTrafficWnd;
    EXPECT_EQ(app.m_nNetworkDevice, 1);
    EXPECT_EQ(app.m_nGraphicScale, 1535);
    EXPECT_EQ(app.m_bMirrorMode, 1);
    EXPECT_EQ(wnd.m_nAlphaFocused, 384);
    EXPECT_EQ(wnd.m_nAlphaUnfocused, -1);
    EXPECT_EQ(fx.layered.log, (std::vector<std::string> { "style 0x80000", "alpha 128 flags 2" }));
    EXPECT_EQ(fx.layered.alphas[&wnd], 128);
    EXPECT_EQ(wnd.m_graphSent.m_bMirror, 1);
    EXPECT_EQ(wnd.m_graphReceived.m_bMirror, 0) << "mirror mode turns only the sent graph";
    for (CTrafficGraph* graph : { &wnd.m_graphReceived, &wnd.m_graphSent }) {
        EXPECT_EQ(graph->m_nDevice, 1);
        EXPECT_EQ(graph->m_nFullScale, 1535);
        EXPECT_EQ(graph->m_strScale, QStringLiteral("1 KB/s"));
    }
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

// What start-up does with a stored rectangle: puts the window there, brings it within reach
// of the pointer on the nearest screen, or leaves it where it was created.
enum class Outcome { Applied, Reached, Ignored };

struct RectCase {
    const char* name;
    int left, top, right, bottom;
    Outcome outcome;
};

class TrafficAppWindowRect : public ::testing::TestWithParam<RectCase> { };

} // namespace

TEST_P(TrafficAppWindowRect, AStoredRectangleIsUsedOnlyWhereAPartOfTheWindowCanBeGrabbed)
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
    const QRect frame = app.m_pTrafficWnd->frameGeometry();
    switch (c.outcome) {
    case Outcome::Applied:
        EXPECT_EQ(frame.topLeft(), QPoint(l, t));
        break;
    case Outcome::Reached:
        EXPECT_NE(frame.topLeft(), QPoint(l, t));
        EXPECT_TRUE(desktop.contains(frame)) << frame.x() << "," << frame.y();
        break;
    case Outcome::Ignored:
        EXPECT_EQ(frame.topLeft(), QPoint(0, 0)) << "not where it was created";
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TrafficAppWindowRect,
    ::testing::Values(RectCase { "inside", 100, 50, 274, 173, Outcome::Applied },
        RectCase { "zero_width", 100, 50, 100, 173, Outcome::Ignored },
        RectCase { "zero_height", 100, 50, 274, 50, Outcome::Ignored },
        RectCase { "inside_out", 274, 173, 100, 50, Outcome::Ignored },
        RectCase { "beyond_the_left_side", -400, 50, -226, 173, Outcome::Reached },
        RectCase { "beyond_the_bottom", 100, kEdge + 1, 274, kEdge + 124, Outcome::Reached },
        RectCase { "touching_the_right_edge", kEdge, 50, kEdge + 174, 173, Outcome::Reached },
        RectCase { "one_column_on_the_right", kEdge - 1, 50, kEdge + 173, 173, Outcome::Reached },
        RectCase {
            "a_grabbable_part_on_the_right", kEdge - 24, 50, kEdge + 150, 173, Outcome::Applied },
        RectCase { "touching_the_left_edge", -174, 50, 0, 173, Outcome::Reached },
        RectCase { "mostly_off_screen", -170, -100, 4, 23, Outcome::Reached }),
    RowName);

TEST(TrafficAppSettings, OkWritesTheSettingsAndExitWritesOnlyTheRectangle)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();
    app.m_pTrafficWnd->move(120, 80);
    app.SaveSettings();
    EXPECT_EQ(Keys(fx.store.writes), kSettingKeys);

    fx.store.writes.clear();
    EXPECT_TRUE(app.OnCmdMsg(ID_APP_EXIT));
    EXPECT_EQ(Keys(fx.store.writes), kRectKeys);
    EXPECT_EQ(fx.store.writes[0].value, 120);
    EXPECT_EQ(fx.store.writes[1].value, 80);
    EXPECT_EQ(fx.store.writes[2].value, 120 + 174);
    EXPECT_EQ(fx.store.writes[3].value, 80 + 123);
    EXPECT_EQ(fx.shell.exitCodes, std::vector<int> { 0 });
}

TEST(TrafficAppDialogs, OnATinyScreenADialogFitsWithItsButtonsInSight)
{
    CAppFixture fx;
    CTrafficApp& app = fx.Start();
    const QRect tiny(0, 0, 320, 200);
    for (QDialog* dlg :
        { static_cast<QDialog*>(&app.SettingsDlg()), static_cast<QDialog*>(&app.AboutDlg()) }) {
        SCOPED_TRACE(dlg->windowTitle().toStdString());
        const QSize outer = CDialogPlacement::Fit(*dlg, tiny);
        EXPECT_LE(outer.width(), tiny.width());
        EXPECT_LE(outer.height(), tiny.height());
        dlg->show();
        QCoreApplication::processEvents();
        const auto* scroller = dlg->findChild<QScrollArea*>();
        const QRect visible = scroller
            ? QRect(scroller->viewport()->mapTo(dlg, QPoint(0, 0)), scroller->viewport()->size())
            : dlg->rect();
        const QList<QPushButton*> buttons = dlg->findChildren<QPushButton*>();
        ASSERT_FALSE(buttons.isEmpty());
        for (const QPushButton* button : buttons)
            EXPECT_TRUE(visible.contains(QRect(button->mapTo(dlg, QPoint(0, 0)), button->size())))
                << button->text().toStdString() << " is scrolled out of sight";
        dlg->hide();
    }
    // The settings dialog scrolls; About fits as it is.
    EXPECT_NE(app.SettingsDlg().findChild<QScrollArea*>(), nullptr);
    EXPECT_EQ(app.AboutDlg().findChild<QScrollArea*>(), nullptr);
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
    EXPECT_TRUE(fx.shell.exitCodes.empty());
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

namespace {

// Which interface the graphs read after start-up, from what is stored and what the kernel
// lists (lo, docker0, wlan0 in that order) and routes.
struct StartRow {
    const char* name;
    std::optional<int32_t> storedPosition;
    const char* storedName; // nullptr: not stored
    std::optional<int32_t> storedAutomatic;
    std::string route4, route6;
    std::vector<std::string> up;
    std::string reads;
    int32_t position;
    bool automatic;
};

using ::PrintTo;

class TrafficAppStartDevice : public testing::TestWithParam<StartRow> { };

} // namespace

TEST_P(TrafficAppStartDevice, GraphsReadTheInterfaceChosenAtStart)
{
    const StartRow& r = GetParam();
    CAppFixture fx;
    fx.SetCounters({ { u"lo", 0, 0 }, { u"docker0", 0, 0 }, { u"wlan0", 0, 0 } });
    if (r.storedPosition)
        fx.Store("NetworkDevice", *r.storedPosition);
    if (r.storedName)
        fx.store.strings[{ "Settings", "NetworkDeviceName" }] = r.storedName;
    if (r.storedAutomatic)
        fx.Store("NetworkDeviceAutomatic", *r.storedAutomatic);
    fx.connection.route4 = r.route4;
    fx.connection.route6 = r.route6;
    fx.connection.up = r.up;
    CTrafficApp& app = fx.Start();
    EXPECT_EQ(app.m_pTrafficWnd->m_meter.Name(), r.reads);
    EXPECT_EQ(app.m_nNetworkDevice, r.position);

    // OK writes the name beside the position, in the same write.
    app.SettingsDlg().ShowSettings();
    app.SettingsDlg().OnOK();
    ASSERT_FALSE(fx.store.batches.empty());
    EXPECT_EQ((fx.store.strings[{ "Settings", "NetworkDeviceName" }].toStdString()), r.reads);
    EXPECT_EQ((fx.store.values[{ "Settings", "NetworkDevice" }]), r.position);
    EXPECT_EQ((fx.store.values[{ "Settings", "NetworkDeviceAutomatic" }]), r.automatic ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, TrafficAppStartDevice,
    testing::Values(StartRow { "StoredNameWinsOverPositionAfterTheListChanged", 1, "wlan0", {}, "",
                        "", {}, "wlan0", 2, false },
        StartRow {
            "PositionWithoutNameAsBefore", 1, nullptr, {}, "wlan0", "", {}, "docker0", 1, false },
        StartRow { "AbsentNameIsKeptOverAnInRangePosition", 1, "wg0", {}, "wlan0", "", {}, "wg0", 1,
            false },
        StartRow { "FirstRunFollowsTheIPv4DefaultRoute", {}, nullptr, {}, "wlan0", "docker0", {},
            "wlan0", 2, true },
        StartRow { "FirstRunFollowsTheIPv6DefaultRouteWithoutIPv4", {}, nullptr, {}, "", "wlan0",
            { "docker0" }, "wlan0", 2, true },
        StartRow { "FirstRunWithoutRouteFollowsTheFirstInterfaceUp", {}, nullptr, {}, "", "",
            { "ghost", "docker0", "wlan0" }, "docker0", 1, true },
        StartRow { "FirstRunWithNothingUpStartsOnPositionZero", {}, nullptr, {}, "", "", {}, "lo",
            0, true },
        StartRow { "StoredAutomaticFollowsTheRouteNotTheStoredName", 0, "lo", 1, "wlan0", "", {},
            "wlan0", 2, true },
        StartRow { "StoredManualKeepsTheNameWithoutRoute", {}, "docker0", 0, "wlan0", "", {},
            "docker0", 1, false }),
    RowName);

TEST(TrafficAppStartDevice, AbsentInterfaceKeepsItsNameFlatGraphsAndNoPreselection)
{
    CAppFixture fx;
    fx.SetCounters({ { u"lo", 0, 0 }, { u"eth0", 0, 0 } });
    fx.Store("NetworkDevice", 7);
    fx.store.strings[{ "Settings", "NetworkDeviceName" }] = "wg0";
    CTrafficApp& app = fx.Start();
    CTrafficWnd& wnd = *app.m_pTrafficWnd;
    fx.Tick();
    fx.SetCounters({ { u"lo", 0, 0 }, { u"eth0", 5000, 5000 } });
    fx.Tick();
    EXPECT_EQ(wnd.m_meter.Name(), "wg0");
    EXPECT_EQ(wnd.m_graphReceived.GetLastSample(), 0);

    app.SettingsDlg().ShowSettings();
    EXPECT_EQ(app.SettingsDlg().m_listDevices->currentIndex(), -1);
    app.SettingsDlg().OnOK();
    EXPECT_EQ((fx.store.strings[{ "Settings", "NetworkDeviceName" }]), "wg0");

    // It comes up behind eth0: the graphs take it without being told.
    fx.SetCounters({ { u"lo", 0, 0 }, { u"eth0", 5000, 5000 }, { u"wg0", 100, 0 } });
    fx.Tick(); // primes
    fx.SetCounters({ { u"lo", 0, 0 }, { u"eth0", 9000, 5000 }, { u"wg0", 400, 0 } });
    fx.Tick();
    EXPECT_EQ(wnd.m_graphReceived.GetLastSample(), 300);
    app.SettingsDlg().ShowSettings();
    EXPECT_EQ(app.SettingsDlg().m_listDevices->currentText(), "wg0");
}

TEST(TrafficAppTrayTip, SecondLineNamesTheInterfaceAndItsRatesOnlyWhenTheyChange)
{
    CAppFixture fx;
    fx.SetCounters({ { u"lo", 0, 0 }, { u"enp3s0", 0, 0 } });
    fx.Store("NetworkDevice", 1);
    fx.Start();
    const auto tips = [&] {
        std::vector<std::string> out;
        for (const CFakeNotifyArea::Call& c : fx.area.calls)
            if (c.dwMessage == NIM_MODIFY && (c.record.uFlags & NIF_TIP))
                out.push_back(c.record.szTip);
        return out;
    };
    uint64_t received = 0, sent = 0;
    // Two seconds of a steady 12.34 KB/s received and 1.20 KB/s sent, one more second idle
    // at the start: the tip changes once a second at most, and only when its text does.
    for (int tick = 0; tick < 20; ++tick) {
        if (tick >= 5 && tick < 15) {
            received += 12636 / 5 + (tick % 5 == 0 ? 12636 % 5 : 0);
            sent += 1229 / 5 + (tick % 5 == 0 ? 1229 % 5 : 0);
        }
        fx.SetCounters({ { u"lo", 0, 0 }, { u"enp3s0", received, sent } });
        fx.Tick();
    }
    const std::vector<std::string> shown = tips();
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(shown.size(), 4u);
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_NE(shown[i], shown[i - 1]);
    EXPECT_NE(std::find(shown.begin(), shown.end(),
                  "Corvane by Mirelda\nenp3s0: 12.34 KB/s received, 1.20 KB/s sent"),
        shown.end());
    for (const std::string& tip : shown)
        EXPECT_LE(tip.size(), 127u);
}

// The real store with a folder where its lock belongs: the save after a move leaves the event
// loop ticking (a 10 ms timer of the test's own), the rectangle stays in force and is reported
// unsaved once.
TEST(TrafficAppSettings, ASaveThatCannotTakeTheLockNeverStopsTheEventLoop)
{
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    ASSERT_TRUE(QDir().mkpath(home.path() + "/corvane/corvane.conf.lock"));
    CIniSettingsStore store("corvane");
    CAppFixture fx(&store);
    CTrafficApp& app = fx.Start();
    app.m_pTrafficWnd->move(120, 80);

    ::testing::internal::CaptureStderr();
    int nTicks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&nTicks] { ++nTicks; });
    tick.start(10);
    QTimer::singleShot(20, [&fx] { fx.Tick(CTrafficWnd::kSaveDelayMs + 200); });
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    app.ExitInstance();
    const std::string err = ::testing::internal::GetCapturedStderr();
    qputenv("XDG_CONFIG_HOME", oldHome);

    EXPECT_GE(nTicks, 20) << "the event loop stood still";
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(store.GetProfileInt(QStringLiteral("Settings"), QStringLiteral("rect.left"), 0), 120);
}
