#include "app/TrafficApp.h"
#include "platform/linux/desktop/DisplayStart.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// The one application object, built before main runs with the settings' defaults; start-up
// creates its windows and tray icon once the Qt application exists.
CTrafficApp theApp;

namespace {

// --help and --version are answered before the Qt application exists, so they need no
// display; every other argument is left to Qt and otherwise ignored. -1: carry on.
int AnswerInfoArgument(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvane %s\n", CORVANE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs("Usage: corvane [--help | --version]\n"
                       "\n"
                       "A network traffic meter for the desktop: a tray icon and a small window "
                       "show, live,\nhow much data one network interface receives and sends.\n"
                       "\n"
                       "  --help     show this text and exit\n"
                       "  --version  show the version and exit\n"
                       "\n"
                       "Settings: $XDG_CONFIG_HOME/corvane/corvane.conf "
                       "(~/.config/corvane/corvane.conf).\n"
                       "See corvane(1).\n",
                stdout);
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (const int code = AnswerInfoArgument(argc, argv); code >= 0)
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? code : 1;

    // On a Wayland session run through XWayland, so the traffic window can be placed and kept
    // on top; plain Wayland stays the fallback where there is no X server.
    const bool wayland = qgetenv("XDG_SESSION_TYPE") == "wayland"
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (wayland && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");

    // The windows are tiny: plain image transfers cost less than the shared-memory
    // handshake Qt's xcb backing store waits for on every flush.
    if (qEnvironmentVariableIsEmpty("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    // Without a display say so in one line and end with 1, rather than Qt's abort.
    CDisplayStart start(argc, argv);
    if (!start.Problem().empty()) {
        std::fprintf(stderr, "corvane: %s\n", start.Problem().c_str());
        return 1;
    }

    QApplication app(argc, argv);
    start.Finish();
    // Keep running with every window hidden: the tray icon is how the user gets back.
    QApplication::setQuitOnLastWindowClosed(false);
    // Window managers and tray hosts show the application name as the window class and the
    // tray item's title: capitalised, as a class is. The settings keep the executable's own
    // name (CTrafficApp::AppName).
    QString strClass = CTrafficApp::AppName();
    strClass[0] = strClass[0].toUpper();
    QApplication::setApplicationName(strClass);
    QApplication::setDesktopFileName(QStringLiteral("corvane"));

    if (!theApp.InitInstance())
        return 0;
#if defined(__GLIBC__)
    // Start-up (the font database above all) frees much of what it allocated, and the
    // allocator keeps those pages for later. The program runs for days on little memory:
    // once it has settled, give them back.
    QTimer::singleShot(2000, [] { malloc_trim(0); });
#endif
    const int code = QApplication::exec();
    // The tray icon leaves the notification area before the Qt application goes away.
    theApp.ExitInstance();
    return code;
}
