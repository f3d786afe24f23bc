#pragma once

#include "support/CorvaneProcess.h"
#include "support/DesktopSession.h"
#include "support/XWindows.h"

#include <QMap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

// The base of the tests that drive the real program on the test display the way a user
// would: they wait for what the screen shows, move the pointer and press keys with xdotool,
// and start the program at a place of their choosing with a settings file.
class CDesktopTest : public ::testing::Test {
protected:
    // The traffic window takes the skin's size.
    static constexpr QSize kWindowSize { 174, 123 };
    // Inside the settings dialog: the centre of OK (183, 143, 50, 14 dialog units).
    static constexpr QPoint kOkCentre { 275 + 75 / 2, 232 + 23 / 2 };

    static bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = 10000)
    {
        return CDesktopSession::WaitFor(done, nTimeoutMs);
    }
    static QString Xdotool(const QStringList& args)
    {
        return CDesktopSession::Instance().Run("xdotool", args);
    }
    // xdotool's words for moving the pointer to `at`.
    static QStringList MoveTo(const QPoint& at);
    // Presses the left button at `from`, moves through `path` (pausing at each point, as a
    // window manager's move wants) and lets go.
    static void Drag(const QPoint& from, const QList<QPoint>& path);
    static XWindowInfo Describe(qulonglong id)
    {
        return CDesktopSession::Instance().XWindows().Describe(id);
    }
    static bool Mapped(qulonglong id) { return Describe(id).mapped; }
    // A settings file that puts the window at `at` and watches no interface, so both graphs
    // stay flat whatever this machine sends.
    static QMap<QString, int> QuietAt(const QPoint& at);

    // Starts the program with QuietAt(at) and `settings` on top; its traffic window, or 0
    // (with a failure added) when it did not come up.
    static qulonglong StartAt(
        CCorvaneProcess& corvane, const QPoint& at, const QMap<QString, int>& settings = {});
    // Moves the window (without the program's help) and waits until it is there.
    static bool MoveWindow(qulonglong id, const QPoint& to);
    // The centre of the program's icon once it docked in the notification area; a null
    // point (with a failure added) when it did not.
    static QPoint DockedIcon(const CCorvaneProcess& corvane);
    // Picks the entry `key` from the menu a right click at `at` opens, and waits for the
    // dialog titled `title`; nothing (with a failure added) when it did not open.
    static std::optional<XWindowInfo> OpenDialog(
        const CCorvaneProcess& corvane, const QPoint& at, const QString& key, const QString& title);
    // Presses Escape and waits until the window titled `title` is gone.
    static bool EscapeCloses(const CCorvaneProcess& corvane, const QString& title);
    // A right click at `at` (after the xdotool commands `before`) opens a menu, which Escape
    // closes again.
    static bool MenuOpens(
        const CCorvaneProcess& corvane, const QPoint& at, const QStringList& before = {});
    // Exit from the menu at `at` ends the program with exit code 0.
    static ::testing::AssertionResult ExitsFromMenu(CCorvaneProcess& corvane, const QPoint& at);

    // The next test finds the session as it began: no window manager, no StatusNotifierItem
    // host, and the XEmbed notification area.
    void TearDown() override;

    CDesktopSession& session = CDesktopSession::Instance();
};
