// Where the real program's windows go on real X screens and window managers: dialogs in
// front of the traffic window and on the user's screen, the traffic window kept within reach
// when screens go, and kept where the user left it.

#include "support/DesktopTest.h"
#include "support/XWindows.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

const QRect kScreen(0, 0, 1024, 768);

class PlacementDesktopTest : public CDesktopTest {
protected:
    void TearDown() override
    {
        CDesktopTest::TearDown();
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

    // Whether any pixel of `dialog` lies under `window`.
    bool Covered(const XWindowInfo& dialog, const XWindowInfo& window) const
    {
        return dialog.geometry.intersects(window.geometry)
            && session.XWindows().Above(window.id, dialog.id);
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
    ASSERT_TRUE(MoveWindow(id, { 425, 322 }));
    const XWindowInfo window = Describe(id);

    const auto settings = OpenDialog(corvane, DockedIcon(corvane), "s", "Settings");
    ASSERT_TRUE(settings);
    EXPECT_FALSE(Covered(*settings, window)) << "the traffic window covers the settings dialog";
    EXPECT_FALSE(settings->geometry.intersects(window.geometry))
        << "the settings dialog hides the window its previews show on";
    ASSERT_TRUE(EscapeCloses(corvane, "Settings"));

    // About from the window's own menu, with the pointer on the screen.
    const auto about = OpenDialog(corvane, window.geometry.center(), "a", "About Corvane");
    ASSERT_TRUE(about);
    EXPECT_FALSE(Covered(*about, window)) << "the traffic window covers the About dialog";
    const QPoint offCentre = about->geometry.center() - kScreen.center();
    // The window manager's frame (a title bar) shifts it a little.
    EXPECT_LE(offCentre.manhattanLength(), 40) << offCentre.x() << "," << offCentre.y();
    EXPECT_TRUE(WaitFor([&] { return session.XWindows().HasFocus(about->id); }, 3000))
        << "the About dialog has no focus";
    EXPECT_TRUE(EscapeCloses(corvane, "About Corvane")) << "Escape went elsewhere";
    // On every workspace. Last: openbox names the workspace in a pop-up over the screen's
    // centre for a while, and a click there would land on it.
    EXPECT_EQ(session.XWindows().Values(id, "_NET_WM_DESKTOP"), std::vector<quint32> { ~0u });
    Xdotool({ "set_num_desktops", "2" });
    Xdotool({ "set_desktop", "1" });
    EXPECT_TRUE(WaitFor([&] {
        return session.XWindows().Values(0, "_NET_CURRENT_DESKTOP") == std::vector<quint32> { 1 };
    }));
    EXPECT_TRUE(Mapped(id)) << "not on the second workspace";
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
    const auto geometry = [&] { return Describe(id).geometry; };
    const QPoint start = geometry().topLeft();

    // Dragged through the window manager's own move.
    const QPoint grab = geometry().center();
    Drag(grab, { grab - QPoint(10, 10), grab - QPoint(90, 90), grab - QPoint(150, 150) });
    QPoint dragged;
    ASSERT_TRUE(WaitFor([&] {
        return ((dragged = geometry().topLeft()) - start).manhattanLength() > 100;
    })) << "the drag did not move the window";

    const QPoint icon = DockedIcon(corvane);
    session.Click(icon, 1);
    ASSERT_TRUE(WaitFor([&] { return !Mapped(id); }));
    session.Click(icon, 1);
    ASSERT_TRUE(WaitFor([&] { return Mapped(id); }));
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
    const qulonglong id = StartAt(corvane, { 700, 300 });
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Describe(id).geometry.topLeft(), QPoint(700, 300));

    session.Run("xrandr", { "--delmonitor", "right" });
    QRect now;
    EXPECT_TRUE(WaitFor([&] {
        return QRect(0, 0, 512, 768).contains(now = Describe(id).geometry);
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
    ASSERT_NE(StartAt(corvane, { 100, 60 }), 0u);
    const auto settings = OpenDialog(corvane, { 150, 100 }, "s", "Settings");
    ASSERT_TRUE(settings);
    EXPECT_TRUE(QRect(0, 0, 320, 200).contains(settings->geometry))
        << "the dialog reaches past the screen";
}

} // namespace
