#include "display/WindowAlpha.h"
#include "fakes/FakeLayeredWindow.h"
#include "platform/linux/x11/QtLayeredWindow.h"

#include <QWidget>
#include <gtest/gtest.h>

namespace {

using Log = std::vector<std::string>;

// Window handles are only compared by the fake, never used.
QWidget* const kWindow = reinterpret_cast<QWidget*>(0x1000);

TEST(WindowAlpha, OpaqueWindowBecomesLayeredBeforeItGetsItsAlpha)
{
    CFakeLayeredWindow platform;
    platform.styles[kWindow] = 0x8; // another extended style bit that must survive
    CWindowAlpha alpha(platform);
    EXPECT_TRUE(alpha.SetWindowAlpha(kWindow, 128));
    EXPECT_EQ(platform.log, (Log { "style 0x80008", "alpha 128 flags 2" }));

    platform.log.clear();
    EXPECT_TRUE(alpha.SetWindowAlpha(kWindow, 255)); // already layered: only the alpha
    EXPECT_EQ(platform.log, Log { "alpha 255 flags 2" });
    EXPECT_TRUE(alpha.IsLayered(kWindow));

    platform.log.clear();
    EXPECT_TRUE(alpha.RemoveLayeredStyle(kWindow));
    EXPECT_EQ(platform.log, Log { "style 0x8" });
    EXPECT_FALSE(alpha.IsLayered(kWindow));
}

TEST(WindowAlpha, OnlyTheLowByteOfTheAlphaCounts)
{
    const struct {
        int nAlpha;
        int nSent;
    } cases[]
        = { { 0, 0 }, { 1, 1 }, { 255, 255 }, { 256, 0 }, { 384, 128 }, { 511, 255 }, { -1, 255 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nAlpha);
        CFakeLayeredWindow platform;
        CWindowAlpha alpha(platform);
        EXPECT_TRUE(alpha.SetWindowAlpha(kWindow, c.nAlpha));
        EXPECT_EQ(platform.alphas[kWindow], c.nSent);
    }
}

TEST(WindowAlpha, MissingOpacitySupportLeavesTheWindowOpaqueAndIsAskedAgain)
{
    CFakeLayeredWindow platform;
    platform.functionAvailable = false;
    CWindowAlpha alpha(platform);
    EXPECT_FALSE(alpha.SetWindowAlpha(kWindow, 100));
    EXPECT_FALSE(alpha.SetLayeredAttributes(kWindow, 0, 100, ILayeredWindow::LWA_ALPHA));
    EXPECT_TRUE(platform.log.empty());
    EXPECT_FALSE(alpha.IsLayered(kWindow));
    EXPECT_EQ(platform.functionLookups, 2);
    EXPECT_EQ(platform.libraryLoads, 1); // the library, once there, stays

    platform.functionAvailable = true;
    EXPECT_TRUE(alpha.SetWindowAlpha(kWindow, 100));
    EXPECT_TRUE(alpha.SetWindowAlpha(kWindow, 90));
    EXPECT_EQ(platform.functionLookups, 3); // found once, then remembered
}

TEST(WindowAlpha, UnreachableLibraryIsTriedAgainAndNeverLooksForTheFunction)
{
    CFakeLayeredWindow platform;
    platform.libraryAvailable = false;
    CWindowAlpha alpha(platform);
    EXPECT_FALSE(alpha.LoadUser32());
    EXPECT_FALSE(alpha.SetWindowAlpha(kWindow, 100));
    EXPECT_EQ(platform.libraryLoads, 2);
    EXPECT_EQ(platform.functionLookups, 0);
    EXPECT_TRUE(platform.log.empty());

    platform.libraryAvailable = true;
    EXPECT_TRUE(alpha.LoadUser32());
    EXPECT_TRUE(alpha.LoadUser32());
    EXPECT_EQ(platform.libraryLoads, 3);
}

TEST(WindowAlpha, RemovingTheStyleNeedsNoLookup)
{
    CFakeLayeredWindow platform;
    platform.libraryAvailable = false;
    CWindowAlpha alpha(platform);
    EXPECT_TRUE(alpha.RemoveLayeredStyle(kWindow)); // not layered: nothing visible changes
    EXPECT_EQ(platform.styles[kWindow], 0u);
    EXPECT_EQ(platform.libraryLoads, 0);
}

// The unit tests run on the offscreen platform, which has no window opacity.
TEST(QtLayeredWindow, OffscreenPlatformCannotFadeAWindow)
{
    CQtLayeredWindow platform;
    CWindowAlpha alpha(platform);
    QWidget window;
    EXPECT_TRUE(alpha.LoadUser32());
    EXPECT_FALSE(alpha.SetWindowAlpha(&window, 128));
    EXPECT_FALSE(alpha.IsLayered(&window));
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
    // The style word itself is kept on the window.
    EXPECT_TRUE(alpha.AddLayeredStyle(&window));
    EXPECT_TRUE(alpha.IsLayered(&window));
    EXPECT_TRUE(alpha.RemoveLayeredStyle(&window));
    EXPECT_FALSE(alpha.IsLayered(&window));
    EXPECT_FALSE(alpha.AddLayeredStyle(nullptr));
}

} // namespace
