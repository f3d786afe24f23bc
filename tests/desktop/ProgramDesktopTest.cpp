// The real program on the test display: its windows, tray icon, menus, dialogs and
// settings file, driven with xdotool the way a user would.

#include "support/CorvaneProcess.h"
#include "support/DesktopSession.h"
#include "support/DesktopTest.h"
#include "support/ProgramScreen.h"

#include <QFile>

#include <gtest/gtest.h>
#include <random>

namespace {

// The settings dialog's template is 240 x 164 dialog units.
const QSize kSettingsSize(360, 267);
// Inside the settings dialog: the scale list (7, 45, 66, 12 units).
const QPoint kScaleListCentre(11 + 99 / 2, 73 + 20 / 2);

QStringList StateAtoms(qulonglong id)
{
    return CCorvaneProcess::Property(id, "_NET_WM_STATE").split(", ", Qt::SkipEmptyParts);
}

// The root window's children, topmost first.
QList<qulonglong> StackingOrder()
{
    QList<qulonglong> ids;
    const QString out = CDesktopSession::Instance().Run("xwininfo", { "-root", "-children" });
    for (const QString& raw : out.split(u'\n')) {
        const QString line = raw.trimmed();
        if (!line.startsWith("0x"))
            continue;
        bool ok = false;
        const qulonglong id = line.section(u' ', 0, 0).toULongLong(&ok, 16);
        if (ok)
            ids << id;
    }
    return ids;
}

class ProgramDesktopTest : public CDesktopTest { };

TEST_F(ProgramDesktopTest, StartsDockedAtItsStoredPlaceFramelessOnTopWithTheGraphsOnThePanes)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 300, 200 })));
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();

    const auto window = corvane.TrafficWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->geometry, QRect(QPoint(300, 200), kWindowSize));
    EXPECT_TRUE(WaitFor([&] { return corvane.DockedIcons().size() == 1; }))
        << "the tray icon did not dock in the notification area";

    // No decorations in the Motif hints (flags bit 2, then functions, decorations = 0).
    const QStringList motif = CCorvaneProcess::Property(window->id, "_MOTIF_WM_HINTS").split(", ");
    ASSERT_EQ(motif.size(), 5) << motif.join(", ").toStdString();
    EXPECT_TRUE(motif[0].toUInt(nullptr, 0) & 2u);
    EXPECT_EQ(motif[2].toUInt(nullptr, 0), 0u) << "the window asks for decorations";
    EXPECT_TRUE(StateAtoms(window->id).contains("_NET_WM_STATE_ABOVE"))
        << CCorvaneProcess::Property(window->id, "_NET_WM_STATE").toStdString();
    // No taskbar entry: skipped explicitly, and a utility window owned by the main window.
    EXPECT_TRUE(StateAtoms(window->id).contains("_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_TRUE(StateAtoms(window->id).contains("_NET_WM_STATE_SKIP_PAGER"));
    EXPECT_TRUE(CCorvaneProcess::Property(window->id, "_NET_WM_WINDOW_TYPE")
                    .startsWith("_NET_WM_WINDOW_TYPE_UTILITY"));
    EXPECT_FALSE(CCorvaneProcess::Property(window->id, "WM_TRANSIENT_FOR").isEmpty());

    // The first paint may come a little after the window is mapped.
    QString mismatch;
    EXPECT_TRUE(WaitFor(
        [&] {
            mismatch = CProgramScreen::CheckSkinAndFlatGraphs(
                session.Screenshot().copy(window->geometry));
            return mismatch.isEmpty();
        },
        5000))
        << mismatch.toStdString();

    // The artwork is decoded by Qt's own PNG reader: no image format plugin (and no JPEG
    // library behind one) is loaded just to find out what the files are.
    QFile maps(QStringLiteral("/proc/%1/maps").arg(corvane.Pid()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("/imageformats/"));
}

TEST_F(ProgramDesktopTest, DragMovesDoubleClickHidesTrayClicksToggleAndTrayExitStoresTheRect)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 300, 200 })));
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const qulonglong id = corvane.TrafficWindow()->id;
    const auto geometry = [&] { return CCorvaneProcess::Describe(id).geometry; };
    const auto mapped = [&] { return CCorvaneProcess::Describe(id).mapped; };

    // Without a window manager the window follows the pointer itself.
    Xdotool({ "mousemove", "330", "260", "mousedown", "1", "mousemove", "360", "280", "mousemove",
        "430", "320", "mouseup", "1" });
    const QRect moved(QPoint(400, 260), kWindowSize);
    EXPECT_TRUE(WaitFor([&] { return geometry() == moved; }, 5000))
        << "after the drag the window is at " << geometry().x() << "," << geometry().y();

    Xdotool({ "mousemove", "480", "350", "click", "--repeat", "2", "--delay", "80", "1" });
    EXPECT_TRUE(WaitFor([&] { return !mapped(); }, 5000)) << "a double click did not hide it";

    ASSERT_TRUE(WaitFor([&] { return corvane.DockedIcons().size() == 1; }));
    const QPoint icon = corvane.DockedIcons()[0].geometry.center();
    for (const bool bShown : { true, false, true }) {
        SCOPED_TRACE(bShown ? "show" : "hide");
        session.Click(icon, 1);
        EXPECT_TRUE(WaitFor([&] { return mapped() == bShown; }, 5000));
    }
    EXPECT_EQ(geometry(), moved) << "showing it again moved it";

    // Exit from the tray menu stores where the window is, although its own five-second
    // save after the move may not have run yet.
    ASSERT_TRUE(corvane.PickFromMenu(icon, "x")) << "no tray menu";
    int code = -1;
    ASSERT_TRUE(corvane.WaitForExit(10000, &code)) << "Exit did not end the program";
    EXPECT_EQ(code, 0) << corvane.Output().toStdString();
    const auto stored = corvane.ReadSettings();
    EXPECT_EQ(stored.value("rect.left"), "400");
    EXPECT_EQ(stored.value("rect.top"), "260");
    EXPECT_EQ(stored.value("rect.right"), "574");
    EXPECT_EQ(stored.value("rect.bottom"), "383");
}

TEST_F(ProgramDesktopTest, WindowMenuExitEndsWithoutStoringTheRect)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const auto window = corvane.TrafficWindow();
    // The first start without a settings file: the window stays where it was created.
    EXPECT_EQ(window->geometry, QRect(QPoint(0, 0), kWindowSize));

    ASSERT_TRUE(corvane.PickFromMenu(window->geometry.center(), "x")) << "no window menu";
    int code = -1;
    ASSERT_TRUE(corvane.WaitForExit(10000, &code)) << "Exit did not end the program";
    EXPECT_EQ(code, 0) << corvane.Output().toStdString();
    for (const QString& key : corvane.ReadSettings().keys())
        EXPECT_FALSE(key.startsWith("rect.")) << key.toStdString() << " was written";
}

TEST_F(ProgramDesktopTest, SecondCopyDocksASecondIcon)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess first(CORVANE_BINARY), second(CORVANE_BINARY);
    ASSERT_TRUE(first.WriteSettings(QuietAt({ 100, 300 })));
    ASSERT_TRUE(second.WriteSettings(QuietAt({ 400, 300 })));
    ASSERT_TRUE(first.Start()) << first.Output().toStdString();
    ASSERT_TRUE(second.Start()) << second.Output().toStdString();
    EXPECT_TRUE(WaitFor([&] {
        return first.DockedIcons().size() == 1 && second.DockedIcons().size() == 1;
    })) << "icons docked: "
        << first.DockedIcons().size() << " and " << second.DockedIcons().size();
    EXPECT_EQ(second.TrafficWindow()->geometry.topLeft(), QPoint(400, 300));
    EXPECT_TRUE(first.Running());
}

TEST_F(ProgramDesktopTest, GarbageSettingsFileStartsWithTheDefaults)
{
    CORVANE_REQUIRE_DESKTOP();
    // What the graphs look like at the default scale, 20480 bytes ("20 KB/s").
    CProgramScreen::ScaleTexts defaults;
    {
        CCorvaneProcess reference(CORVANE_BINARY);
        ASSERT_TRUE(reference.WriteSettings({ { "GraphicScale", 20480 } }));
        ASSERT_TRUE(reference.Start()) << reference.Output().toStdString();
        const QRect at = reference.TrafficWindow()->geometry;
        ASSERT_TRUE(WaitFor(
            [&] {
                defaults = CProgramScreen::ReadScaleTexts(session.Screenshot().copy(at));
                return defaults.Drawn();
            },
            5000))
            << "no scale text on the graphs";
    }

    std::mt19937 random(20240607);
    QByteArray garbage;
    for (int i = 0; i < 3000; ++i)
        garbage += char(random() & 0xFF);
    garbage += "\n[Settings\nGraphicScale=\x01\x02\x03\n[Settings]\nGraphicScale=20 KB/s\n"
               "NetworkDevice=99999999999999999999\nMirrorMode=1,1\nTransparent=@Variant(\x7f)\n"
               "TransparencyFocused=\nrect.left=left\nrect.top==\nrect.right=0x100\n"
               "rect.bottom\n=7\n\"unterminated\n";
    for (int i = 0; i < 500; ++i)
        garbage += char(random() & 0xFF);

    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteConfig(garbage));
    ASSERT_TRUE(corvane.Start()) << "it did not come up: " << corvane.Output().toStdString();
    const QRect at = corvane.TrafficWindow()->geometry;
    EXPECT_EQ(at, QRect(QPoint(0, 0), kWindowSize)) << "not at the place of its creation";
    CProgramScreen::ScaleTexts shown;
    EXPECT_TRUE(WaitFor(
        [&] {
            shown = CProgramScreen::ReadScaleTexts(session.Screenshot().copy(at));
            return shown == defaults;
        },
        5000))
        << "the graphs are not labelled as with the defaults (20 KB/s)";

    // Still alive, and still answering: the tray menu's Exit ends it normally.
    ASSERT_TRUE(corvane.Running()) << corvane.Output().toStdString();
    ASSERT_TRUE(WaitFor([&] { return corvane.DockedIcons().size() == 1; }));
    ASSERT_TRUE(corvane.PickFromMenu(corvane.DockedIcons()[0].geometry.center(), "x"));
    int code = -1;
    ASSERT_TRUE(corvane.WaitForExit(10000, &code));
    EXPECT_EQ(code, 0) << corvane.Output().toStdString();
}

TEST_F(ProgramDesktopTest, SettingsPreviewsTheScaleStoresItOnOkAndAboutComesAboveTheWindow)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    // Away from where the dialogs open, so both graphs stay in sight.
    ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 700, 500 })));
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const auto window = corvane.TrafficWindow();
    ASSERT_TRUE(WaitFor([&] { return corvane.DockedIcons().size() == 1; }));
    const QPoint icon = corvane.DockedIcons()[0].geometry.center();
    const auto scaleTexts = [&] {
        return CProgramScreen::ReadScaleTexts(session.Screenshot().copy(window->geometry));
    };
    CProgramScreen::ScaleTexts before;
    ASSERT_TRUE(WaitFor([&] { return (before = scaleTexts()).Drawn(); }, 5000));

    ASSERT_TRUE(corvane.PickFromMenu(icon, "s")) << "no tray menu";
    std::optional<XWindowInfo> dialog;
    ASSERT_TRUE(WaitFor([&] { return (dialog = corvane.MappedWindow("Settings")).has_value(); }))
        << "the settings dialog did not open";
    EXPECT_EQ(dialog->geometry.size(), kSettingsSize);

    // Focus the scale list with a click (which opens its list; Escape closes it again), then
    // pick the next scale with the keyboard.
    session.Click(dialog->geometry.topLeft() + kScaleListCentre, 1);
    ASSERT_TRUE(WaitFor([&] { return corvane.OpenMenu().has_value(); }, 5000))
        << "the scale list did not open";
    Xdotool({ "key", "Escape" });
    ASSERT_TRUE(WaitFor([&] { return !corvane.OpenMenu().has_value(); }, 5000));
    Xdotool({ "key", "Down" });
    CProgramScreen::ScaleTexts after;
    EXPECT_TRUE(WaitFor(
        [&] {
            after = scaleTexts();
            return after.received != before.received && after.sent != before.sent;
        },
        5000))
        << "scale text changed on the received graph: " << (after.received != before.received)
        << ", on the sent graph: " << (after.sent != before.sent);
    EXPECT_EQ(after.received, after.sent) << "the two graphs show different scales";
    EXPECT_FALSE(corvane.ReadSettings().contains("GraphicScale")) << "a preview was stored";

    session.Click(dialog->geometry.topLeft() + kOkCentre, 1);
    EXPECT_TRUE(WaitFor([&] { return corvane.ReadSettings().value("GraphicScale") == "51200"; }))
        << "OK did not store the scale 50 KB/s";
    EXPECT_TRUE(WaitFor([&] { return !corvane.MappedWindow("Settings"); }));
    const auto stored = corvane.ReadSettings();
    for (const char* key : { "NetworkDevice", "MirrorMode", "Transparent", "TransparencyFocused",
             "TransparencyUnocused" })
        EXPECT_TRUE(stored.contains(key)) << key;

    ASSERT_TRUE(corvane.PickFromMenu(icon, "a")) << "no tray menu";
    std::optional<XWindowInfo> about;
    ASSERT_TRUE(WaitFor([&] {
        return (about = corvane.MappedWindow("About Corvane")).has_value();
    })) << "the About dialog did not open";
    EXPECT_TRUE(StateAtoms(about->id).contains("_NET_WM_STATE_ABOVE"));
    const QList<qulonglong> stacking = StackingOrder();
    ASSERT_TRUE(stacking.contains(about->id) && stacking.contains(window->id));
    EXPECT_LT(stacking.indexOf(about->id), stacking.indexOf(window->id))
        << "the About dialog is below the traffic window";

    ASSERT_TRUE(corvane.PickFromMenu(icon, "x"));
    int code = -1;
    ASSERT_TRUE(corvane.WaitForExit(10000, &code));
    EXPECT_EQ(code, 0) << corvane.Output().toStdString();
    EXPECT_EQ(corvane.ReadSettings().value("GraphicScale"), "51200");
}

class ProgramAtRatioTest : public CDesktopTest, public ::testing::WithParamInterface<int> {
protected:
    void TearDown() override { session.Run("xprop", { "-root", "-remove", "RESOURCE_MANAGER" }); }
};

// Xft.dpi as desktops set it for 100, 150 and 200 %, read by every program started after it.
TEST_P(ProgramAtRatioTest, WindowIsTheSkinTimesTheRatioAndShowsWhatTheImagePathPaints)
{
    CORVANE_REQUIRE_DESKTOP();
    session.Run("xprop",
        { "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
            QString("Xft.dpi:\t%1\n").arg(GetParam()) });
    QImage painted;
    for (const bool raster : { true, false }) {
        SCOPED_TRACE(raster ? "image path" : "X server");
        CCorvaneProcess corvane(CORVANE_BINARY);
        if (raster)
            corvane.SetEnvironment("CORVANE_RASTER", "1");
        ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 100, 100 })));
        ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
        const QRect window = corvane.TrafficWindow()->geometry;
        EXPECT_EQ(window.size(), kWindowSize * (GetParam() / 96.0));
        // The image path's picture once the rate texts (yellow) are on it is the reference.
        const auto texts = [](const QImage& image) {
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) == qRgb(255, 255, 0))
                        return true;
            return false;
        };
        QImage shown;
        const bool done = WaitFor(
            [&] {
                shown = session.Screenshot().copy(window);
                return raster ? texts(shown) : shown == painted;
            },
            5000);
        ASSERT_TRUE(done) << "the window never showed what the image path paints";
        painted = shown;
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, ProgramAtRatioTest, ::testing::Values(96, 144, 192),
    [](const ::testing::TestParamInfo<int>& info) { return "dpi_" + std::to_string(info.param); });

} // namespace
