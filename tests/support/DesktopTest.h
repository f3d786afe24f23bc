#pragma once

#include "support/DesktopSession.h"

#include <QMap>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

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

    static bool WaitFor(const std::function<bool()>& done, int nTimeoutMs = 10000);
    static QString Xdotool(const QStringList& args);
    // A settings file that puts the window at `at` and watches no interface, so both graphs
    // stay flat whatever this machine sends.
    static QMap<QString, int> QuietAt(const QPoint& at);

    CDesktopSession& session = CDesktopSession::Instance();
};
