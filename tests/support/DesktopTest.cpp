#include "support/DesktopTest.h"

bool CDesktopTest::WaitFor(const std::function<bool()>& done, int nTimeoutMs)
{
    return CDesktopSession::WaitFor(done, nTimeoutMs);
}

QString CDesktopTest::Xdotool(const QStringList& args)
{
    return CDesktopSession::Instance().Run("xdotool", args);
}

QMap<QString, int> CDesktopTest::QuietAt(const QPoint& at)
{
    return { { "NetworkDevice", 999 }, { "rect.left", at.x() }, { "rect.top", at.y() },
        { "rect.right", at.x() + kWindowSize.width() },
        { "rect.bottom", at.y() + kWindowSize.height() } };
}
