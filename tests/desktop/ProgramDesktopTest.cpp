// The real program on the test display: its windows, tray icon, menus, dialogs and
// settings file, driven with xdotool the way a user would.

#include "support/DesktopTest.h"
#include "support/ProgramScreen.h"
#include "support/XWindows.h"

#include <QFile>

#include <gtest/gtest.h>
#include <random>

namespace {

// The settings dialog's template is 240 x 164 dialog units.
const QSize kSettingsSize(360, 267);
// Inside the settings dialog: the scale list (7, 45, 66, 12 units).
const QPoint kScaleListCentre(11 + 99 / 2, 73 + 20 / 2);

class ProgramDesktopTest : public CDesktopTest { };

TEST_F(ProgramDesktopTest, StartsDockedAtItsStoredPlaceFramelessOnTopWithTheGraphsBesideASecondCopy)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY), second(CORVANE_BINARY);
    ASSERT_NE(StartAt(corvane, { 100, 300 }), 0u);
    ASSERT_NE(StartAt(second, { 400, 300 }), 0u);
    const auto window = corvane.TrafficWindow();
    EXPECT_EQ(window->geometry, QRect(QPoint(100, 300), kWindowSize));
    EXPECT_EQ(second.TrafficWindow()->geometry.topLeft(), QPoint(400, 300));
    EXPECT_TRUE(WaitFor([&] {
        return corvane.DockedIcons().size() == 1 && second.DockedIcons().size() == 1;
    })) << "icons docked: "
        << corvane.DockedIcons().size() << " and " << second.DockedIcons().size();

    const CXWindows& x = session.XWindows();
    // No decorations in the Motif hints (flags bit 2, then functions, decorations = 0).
    const std::vector<quint32> motif = x.Values(window->id, "_MOTIF_WM_HINTS");
    ASSERT_EQ(motif.size(), 5u);
    EXPECT_TRUE(motif[0] & 2u);
    EXPECT_EQ(motif[2], 0u) << "the window asks for decorations";
    // No taskbar entry: skipped explicitly, and a utility window owned by the main window.
    for (const char* state :
        { "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER" })
        EXPECT_TRUE(x.ListsAtom(window->id, "_NET_WM_STATE", state)) << state;
    const std::vector<quint32> types = x.Values(window->id, "_NET_WM_WINDOW_TYPE");
    EXPECT_TRUE(!types.empty() && types[0] == x.Atom("_NET_WM_WINDOW_TYPE_UTILITY"));
    EXPECT_FALSE(x.Values(window->id, "WM_TRANSIENT_FOR").empty());

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
    EXPECT_TRUE(corvane.Running()) << "the second copy ended the first";
}

TEST_F(ProgramDesktopTest, DragMovesDoubleClickHidesTrayClicksToggleAndTrayExitStoresTheRect)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    const qulonglong id = StartAt(corvane, { 300, 200 });
    ASSERT_NE(id, 0u);
    const auto geometry = [&] { return Describe(id).geometry; };

    // Without a window manager the window follows the pointer itself.
    Drag({ 330, 260 }, { { 360, 280 }, { 430, 320 } });
    const QRect moved(QPoint(400, 260), kWindowSize);
    EXPECT_TRUE(WaitFor([&] { return geometry() == moved; }, 5000))
        << "after the drag the window is at " << geometry().x() << "," << geometry().y();

    Xdotool({ "mousemove", "480", "350", "click", "--repeat", "2", "--delay", "80", "1" });
    EXPECT_TRUE(WaitFor([&] { return !Mapped(id); }, 5000)) << "a double click did not hide it";

    const QPoint icon = DockedIcon(corvane);
    for (const bool bShown : { true, false, true }) {
        SCOPED_TRACE(bShown ? "show" : "hide");
        session.Click(icon, 1);
        EXPECT_TRUE(WaitFor([&] { return Mapped(id) == bShown; }, 5000));
    }
    EXPECT_EQ(geometry(), moved) << "showing it again moved it";

    // Exit from the tray menu stores where the window is, although its own five-second
    // save after the move may not have run yet.
    ASSERT_TRUE(ExitsFromMenu(corvane, icon));
    const auto stored = corvane.ReadSettings();
    EXPECT_EQ(stored.value("rect.left"), "400");
    EXPECT_EQ(stored.value("rect.top"), "260");
    EXPECT_EQ(stored.value("rect.right"), "574");
    EXPECT_EQ(stored.value("rect.bottom"), "383");
}

TEST_F(ProgramDesktopTest, FirstStartAndAGarbageSettingsFileBothStartWithTheDefaults)
{
    CORVANE_REQUIRE_DESKTOP();
    // The first start, without a settings file: the window stays where it was created, the
    // graphs show the default scale, and Exit from the window's menu stores no place.
    CProgramScreen::ScaleTexts defaults;
    {
        CCorvaneProcess first(CORVANE_BINARY);
        ASSERT_TRUE(first.Start()) << first.Output().toStdString();
        const QRect at = first.TrafficWindow()->geometry;
        EXPECT_EQ(at, QRect(QPoint(0, 0), kWindowSize));
        ASSERT_TRUE(WaitFor(
            [&] {
                return (defaults = CProgramScreen::ReadScaleTexts(session.Screenshot().copy(at)))
                    .Drawn();
            },
            5000))
            << "no scale text on the graphs";
        ASSERT_TRUE(ExitsFromMenu(first, at.center()));
        for (const QString& key : first.ReadSettings().keys())
            EXPECT_FALSE(key.startsWith("rect.")) << key.toStdString() << " was written";
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
        << "the graphs are not labelled as with the defaults";
    // Still alive, and still answering.
    EXPECT_TRUE(ExitsFromMenu(corvane, DockedIcon(corvane)));
}

TEST_F(ProgramDesktopTest, SettingsPreviewsTheScaleStoresItOnOkAndAboutComesAboveTheWindow)
{
    CORVANE_REQUIRE_DESKTOP();
    CCorvaneProcess corvane(CORVANE_BINARY);
    // Away from where the dialogs open, so both graphs stay in sight.
    const qulonglong window = StartAt(corvane, { 700, 500 });
    ASSERT_NE(window, 0u);
    const QPoint icon = DockedIcon(corvane);
    const QRect at = Describe(window).geometry;
    const auto scaleTexts
        = [&] { return CProgramScreen::ReadScaleTexts(session.Screenshot().copy(at)); };
    CProgramScreen::ScaleTexts before;
    ASSERT_TRUE(WaitFor([&] { return (before = scaleTexts()).Drawn(); }, 5000));

    const auto dialog = OpenDialog(corvane, icon, "s", "Settings");
    ASSERT_TRUE(dialog);
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

    const auto about = OpenDialog(corvane, icon, "a", "About Corvane");
    ASSERT_TRUE(about);
    EXPECT_TRUE(session.XWindows().ListsAtom(about->id, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"));
    EXPECT_TRUE(session.XWindows().Above(about->id, window))
        << "the About dialog is below the traffic window";

    ASSERT_TRUE(ExitsFromMenu(corvane, icon));
    EXPECT_EQ(corvane.ReadSettings().value("GraphicScale"), "51200");
}

struct RatioRow {
    const char* name;
    int nDpi; // Xft.dpi, as desktops set it for 100, 150 and 200 %
    const char* scaleFactor; // QT_SCALE_FACTOR; nullptr: not set
};

void PrintTo(const RatioRow& row, std::ostream* os)
{
    *os << row.name;
}

class ProgramAtRatioTest : public CDesktopTest, public ::testing::WithParamInterface<RatioRow> {
protected:
    void TearDown() override
    {
        session.Run("xprop", { "-root", "-remove", "RESOURCE_MANAGER" });
        CDesktopTest::TearDown();
    }
};

// A place saved at ratio 1 comes back to the same pixels: on the right half of the screen,
// beyond the screen's width in Qt's units at ratio 2.
TEST_P(ProgramAtRatioTest, WindowIsTheSkinTimesTheRatioAtItsPlaceAndShowsWhatTheImagePathPaints)
{
    CORVANE_REQUIRE_DESKTOP();
    const RatioRow& row = GetParam();
    const double ratio
        = row.nDpi / 96.0 * QString::fromLatin1(row.scaleFactor ? row.scaleFactor : "1").toDouble();
    session.Run("xprop",
        { "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
            QString("Xft.dpi:\t%1\n").arg(row.nDpi) });
    QImage painted;
    for (const bool raster : { true, false }) {
        SCOPED_TRACE(raster ? "image path" : "X server");
        CCorvaneProcess corvane(CORVANE_BINARY);
        if (raster)
            corvane.SetEnvironment("CORVANE_RASTER", "1");
        if (row.scaleFactor)
            corvane.SetEnvironment("QT_SCALE_FACTOR", row.scaleFactor);
        ASSERT_NE(StartAt(corvane, { 600, 400 }), 0u);
        const QRect window = corvane.TrafficWindow()->geometry;
        EXPECT_EQ(window.size(), kWindowSize * ratio);
        EXPECT_LE((window.topLeft() - QPoint(600, 400)).manhattanLength(), 2)
            << window.x() << "," << window.y();
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

INSTANTIATE_TEST_SUITE_P(Scales, ProgramAtRatioTest,
    ::testing::Values(RatioRow { "dpi_96", 96, nullptr }, RatioRow { "dpi_144", 144, nullptr },
        RatioRow { "dpi_192", 192, nullptr }, RatioRow { "scale_factor_1_5", 96, "1.5" },
        RatioRow { "scale_factor_2", 96, "2" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
