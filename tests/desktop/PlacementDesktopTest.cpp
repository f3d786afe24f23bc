// Where the real program's windows go on real X screens and window managers: dialogs in
// front of the traffic window and on the user's screen, the traffic window kept within reach
// when screens go or the device pixel ratio changes, and kept where the user left it.

#include "support/CorvaneProcess.h"
#include "support/DesktopSession.h"
#include "support/DesktopTest.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

const QRect kScreen(0, 0, 1024, 768);

// The windows the window manager manages, bottom first.
QList<qulonglong> ClientStacking()
{
    QList<qulonglong> ids;
    const QString list
        = CDesktopSession::Instance().Run("xprop", { "-root", "_NET_CLIENT_LIST_STACKING" });
    for (const QString& item : list.section(u'#', 1).split(u',', Qt::SkipEmptyParts))
        ids << item.trimmed().toULongLong(nullptr, 16);
    return ids;
}

// Whether any pixel of `dialog` lies under `window`.
bool Covered(const XWindowInfo& dialog, const XWindowInfo& window)
{
    const QList<qulonglong> stacking = ClientStacking();
    return dialog.geometry.intersects(window.geometry)
        && stacking.indexOf(window.id) > stacking.indexOf(dialog.id);
}

class PlacementDesktopTest : public CDesktopTest {
protected:
    void TearDown() override
    {
        session.StopWindowManager();
        if (m_mode.isEmpty())
            return;
        // Back to the one 1024 x 768 screen the other tests expect.
        session.Run("xrandr", { "--delmonitor", "right" });
        session.Run("xrandr", { "--output", "screen", "--mode", "1024x768", "--fb", "1024x768" });
        session.Run("xrandr", { "--delmode", "screen", m_mode });
        session.Run("xrandr", { "--rmmode", m_mode });
    }

    // The display's one output shows a w x h mode on a framebuffer fbWidth wide; false where
    // RandR cannot do that.
    bool SetMode(int w, int h, int fbWidth)
    {
        m_mode = QStringLiteral("%1x%2").arg(w).arg(h);
        QStringList line { "--newmode", m_mode, "10" };
        for (const int size : { w, h })
            for (int i = 0; i < 4; ++i)
                line << QString::number(size + i);
        session.Run("xrandr", line);
        int code = -1;
        session.Run("xrandr", { "--addmode", "screen", m_mode }, &code);
        if (code == 0)
            session.Run("xrandr",
                { "--output", "screen", "--mode", m_mode, "--fb",
                    QStringLiteral("%1x%2").arg(fbWidth).arg(h) },
                &code);
        return code == 0;
    }

    QString m_mode;
};

TEST_F(PlacementDesktopTest, DialogsOpenInFrontOfTheWindowAboutOnTheUsersScreenWithTheFocus)
{
    CORVANE_REQUIRE_DESKTOP();
    if (!session.StartWindowManager())
        GTEST_SKIP() << "openbox did not start";
    // A first run: no settings file. The window at the screen's centre, where both dialogs
    // would open centred.
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const qulonglong id = corvane.TrafficWindow()->id;
    Xdotool({ "windowmove", QString::number(id), "425", "322" });
    ASSERT_TRUE(WaitFor(
        [&] { return CCorvaneProcess::Describe(id).geometry.topLeft() == QPoint(425, 322); }));
    const XWindowInfo window = CCorvaneProcess::Describe(id);

    ASSERT_TRUE(WaitFor([&] { return corvane.DockedIcons().size() == 1; }));
    ASSERT_TRUE(corvane.PickFromMenu(corvane.DockedIcons()[0].geometry.center(), "s"));
    std::optional<XWindowInfo> settings;
    ASSERT_TRUE(WaitFor([&] { return (settings = corvane.MappedWindow("Settings")).has_value(); }));
    EXPECT_FALSE(Covered(*settings, window)) << "the traffic window covers the settings dialog";
    EXPECT_FALSE(settings->geometry.intersects(window.geometry))
        << "the settings dialog hides the window its previews show on";
    Xdotool({ "key", "Escape" });
    ASSERT_TRUE(WaitFor([&] { return !corvane.MappedWindow("Settings"); }));

    // About from the window's own menu, with the pointer on the screen.
    ASSERT_TRUE(corvane.PickFromMenu(window.geometry.center(), "a"));
    std::optional<XWindowInfo> about;
    ASSERT_TRUE(
        WaitFor([&] { return (about = corvane.MappedWindow("About Corvane")).has_value(); }));
    EXPECT_FALSE(Covered(*about, window)) << "the traffic window covers the About dialog";
    const QPoint offCentre = about->geometry.center() - kScreen.center();
    // The window manager's frame (a title bar) shifts it a little.
    EXPECT_LE(offCentre.manhattanLength(), 40) << offCentre.x() << "," << offCentre.y();
    // It has the keyboard focus: Escape closes it.
    EXPECT_TRUE(WaitFor([&] { return session.XWindows().HasFocus(about->id); }, 3000))
        << "the About dialog has no focus";
    Xdotool({ "key", "Escape" });
    EXPECT_TRUE(WaitFor([&] { return !corvane.MappedWindow("About Corvane"); }, 3000))
        << "Escape went elsewhere: the About dialog has no focus";
    // On every workspace. Last: openbox names the workspace in a pop-up over the screen's
    // centre for a while, and a click there would land on it.
    EXPECT_EQ(CCorvaneProcess::Property(id, "_NET_WM_DESKTOP"), "4294967295");
    Xdotool({ "set_num_desktops", "2" });
    Xdotool({ "set_desktop", "1" });
    EXPECT_TRUE(WaitFor([&] {
        return session.Run("xprop", { "-root", "_NET_CURRENT_DESKTOP" }).contains("= 1");
    }));
    EXPECT_TRUE(CCorvaneProcess::Describe(id).mapped) << "not on the second workspace";
}

TEST_F(PlacementDesktopTest, KWinKeepsTheDraggedWindowWhereItIsAcrossHideAndShow)
{
    CORVANE_REQUIRE_DESKTOP();
    if (!session.StartWindowManager(CDesktopSession::WindowManager::KWin))
        GTEST_SKIP() << "kwin_x11 did not start (Debian: kwin-x11)";
    // A first run: KWin places the window (in the centre) and never learns it was placed.
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const qulonglong id = corvane.TrafficWindow()->id;
    const auto geometry = [&] { return CCorvaneProcess::Describe(id).geometry; };
    const QPoint start = geometry().topLeft();

    // Dragged through the window manager's own move.
    const QPoint grab = geometry().center();
    QStringList drag { "mousemove", QString::number(grab.x()), QString::number(grab.y()),
        "mousedown", "1" };
    for (const int step : { 10, 90, 150 })
        drag += { "mousemove", QString::number(grab.x() - step), QString::number(grab.y() - step),
            "sleep", "0.2" };
    Xdotool(drag += { "mouseup", "1" });
    QPoint dragged;
    ASSERT_TRUE(WaitFor([&] {
        return ((dragged = geometry().topLeft()) - start).manhattanLength() > 100;
    })) << "the drag did not move the window";

    ASSERT_TRUE(WaitFor([&] { return corvane.DockedIcons().size() == 1; }));
    const QPoint icon = corvane.DockedIcons()[0].geometry.center();
    session.Click(icon, 1);
    ASSERT_TRUE(WaitFor([&] { return !CCorvaneProcess::Describe(id).mapped; }));
    session.Click(icon, 1);
    ASSERT_TRUE(WaitFor([&] { return CCorvaneProcess::Describe(id).mapped; }));
    QThread::msleep(300);
    EXPECT_EQ(geometry().topLeft(), dragged)
        << "shown again at " << geometry().x() << "," << geometry().y();
}

TEST_F(PlacementDesktopTest, AScreenThatGoesAwayBringsTheWindowToTheOneLeft)
{
    CORVANE_REQUIRE_DESKTOP();
    // Two screens side by side: the output's left half and a monitor on the right half.
    if (!SetMode(512, 768, 1024))
        GTEST_SKIP() << "this X server cannot change its screens (RandR)";
    int code = -1;
    session.Run("xrandr", { "--setmonitor", "right", "512/135x768/203+512+0", "none" }, &code);
    ASSERT_EQ(code, 0);
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 700, 300 })));
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const qulonglong id = corvane.TrafficWindow()->id;
    EXPECT_EQ(CCorvaneProcess::Describe(id).geometry.topLeft(), QPoint(700, 300));

    session.Run("xrandr", { "--delmonitor", "right" });
    QRect now;
    EXPECT_TRUE(WaitFor([&] {
        now = CCorvaneProcess::Describe(id).geometry;
        return QRect(0, 0, 512, 768).contains(now);
    })) << "the window stayed at "
        << now.x() << "," << now.y();
    EXPECT_EQ(now.y(), 300) << "moved further than it had to";
}

TEST_F(PlacementDesktopTest, OnATinyScreenTheSettingsDialogFitsFromItsTopLeft)
{
    CORVANE_REQUIRE_DESKTOP();
    if (!SetMode(320, 200, 320))
        GTEST_SKIP() << "this X server cannot change its screens (RandR)";
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 100, 60 })));
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    ASSERT_TRUE(corvane.PickFromMenu({ 150, 100 }, "s")) << "no window menu";
    std::optional<XWindowInfo> settings;
    ASSERT_TRUE(WaitFor([&] { return (settings = corvane.MappedWindow("Settings")).has_value(); }));
    EXPECT_TRUE(QRect(0, 0, 320, 200).contains(settings->geometry))
        << "the dialog reaches past the screen";
}

struct RatioRow {
    const char* name;
    const char* factor;
};

void PrintTo(const RatioRow& row, std::ostream* os)
{
    *os << row.name;
}

class DevicePixelRatioTest : public CDesktopTest,
                             public ::testing::WithParamInterface<RatioRow> { };

TEST_P(DevicePixelRatioTest, APlaceSavedAtRatioOneComesBackToTheSamePixels)
{
    CORVANE_REQUIRE_DESKTOP();
    // On the right half of the screen: beyond the screen's width in Qt's units at ratio 2.
    CCorvaneProcess corvane(CORVANE_BINARY);
    ASSERT_TRUE(corvane.WriteSettings(QuietAt({ 700, 400 })));
    corvane.SetEnvironment("QT_SCALE_FACTOR", GetParam().factor);
    ASSERT_TRUE(corvane.Start()) << corvane.Output().toStdString();
    const QPoint at = corvane.TrafficWindow()->geometry.topLeft();
    EXPECT_LE((at - QPoint(700, 400)).manhattanLength(), 2) << at.x() << "," << at.y();
}

INSTANTIATE_TEST_SUITE_P(Ratios, DevicePixelRatioTest,
    ::testing::Values(RatioRow { "one_and_a_half", "1.5" }, RatioRow { "two", "2" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
