#include "support/DesktopSession.h"

#include <QApplication>
#include <cstdio>
#include <gtest/gtest.h>

// Desktop tests need a real X server and notification area; this binary starts its own
// Xvfb and trayer, points Qt at them, and stops exactly those processes at the end.
int main(int argc, char** argv)
{
    // Listing the tests needs no desktop. Asked before GoogleTest takes its flags out of argv.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0;
    ::testing::InitGoogleTest(&argc, argv);
    if (listing) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return RUN_ALL_TESTS();
    }

    // No session bus unless a test starts its own: libdbus would otherwise start one for the
    // test display (X11 autolaunch) that outlives the tests, and a desktop's own bus would
    // bring its notification area into them.
    qputenv("DBUS_SESSION_BUS_ADDRESS", CDesktopSession::kNoSessionBus);
    CDesktopSession& session = CDesktopSession::Instance();
    if (!session.Start()) {
        std::fprintf(stderr, "desktop tests skipped: %s\n", session.Why().c_str());
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", session.Display().c_str());
    }
    int rc = 0;
    {
        // Gone before its X server, so that it closes its connection.
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        rc = RUN_ALL_TESTS();
    }
    session.Stop();
    return rc;
}
