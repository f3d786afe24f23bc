#include "support/DesktopTest.h"

void CDesktopTest::TearDown()
{
    session.StopWindowManager();
    session.StopStatusNotifierHost();
    if (session.Running() && !session.TrayRunning())
        session.StartTray();
}

QStringList CDesktopTest::MoveTo(const QPoint& at)
{
    return { "mousemove", QString::number(at.x()), QString::number(at.y()) };
}

void CDesktopTest::Drag(const QPoint& from, const QList<QPoint>& path)
{
    QStringList args = MoveTo(from) + QStringList { "mousedown", "1" };
    for (const QPoint& at : path)
        args += MoveTo(at) + QStringList { "sleep", "0.2" };
    Xdotool(args + QStringList { "mouseup", "1" });
}

QMap<QString, int> CDesktopTest::QuietAt(const QPoint& at)
{
    return { { "NetworkDevice", 999 }, { "rect.left", at.x() }, { "rect.top", at.y() },
        { "rect.right", at.x() + kWindowSize.width() },
        { "rect.bottom", at.y() + kWindowSize.height() } };
}

qulonglong CDesktopTest::StartAt(
    CCorvaneProcess& corvane, const QPoint& at, const QMap<QString, int>& settings)
{
    QMap<QString, int> values = QuietAt(at);
    values.insert(settings);
    if (!corvane.WriteSettings(values) || !corvane.Start()) {
        ADD_FAILURE() << "the program did not start: " << corvane.Output().toStdString();
        return 0;
    }
    return corvane.TrafficWindow()->id;
}

bool CDesktopTest::MoveWindow(qulonglong id, const QPoint& to)
{
    Xdotool(
        { "windowmove", QString::number(id), QString::number(to.x()), QString::number(to.y()) });
    return WaitFor([&] { return Describe(id).geometry.topLeft() == to; }, 5000);
}

QPoint CDesktopTest::DockedIcon(const CCorvaneProcess& corvane)
{
    if (!WaitFor([&] { return corvane.DockedIcons().size() == 1; })) {
        ADD_FAILURE() << "the icon did not dock in the notification area";
        return {};
    }
    return corvane.DockedIcons()[0].geometry.center();
}

std::optional<XWindowInfo> CDesktopTest::OpenDialog(
    const CCorvaneProcess& corvane, const QPoint& at, const QString& key, const QString& title)
{
    std::optional<XWindowInfo> dialog;
    if (!corvane.PickFromMenu(at, key))
        ADD_FAILURE() << "no menu at " << at.x() << "," << at.y();
    else if (!WaitFor([&] { return (dialog = corvane.MappedWindow(title)).has_value(); }))
        ADD_FAILURE() << '"' << title.toStdString() << "\" did not open";
    return dialog;
}

bool CDesktopTest::EscapeCloses(const CCorvaneProcess& corvane, const QString& title)
{
    Xdotool({ "key", "Escape" });
    return WaitFor([&] { return !corvane.MappedWindow(title); }, 3000);
}

bool CDesktopTest::MenuOpens(
    const CCorvaneProcess& corvane, const QPoint& at, const QStringList& before)
{
    CDesktopSession::Instance().WaitOutDoubleClick();
    Xdotool(MoveTo(at) + before + QStringList { "click", "3" });
    const bool opened = WaitFor([&] { return corvane.OpenMenu().has_value(); }, 4000);
    Xdotool({ "key", "Escape" });
    WaitFor([&] { return !corvane.OpenMenu().has_value(); }, 3000);
    CDesktopSession::Instance().WaitOutDoubleClick();
    return opened;
}

::testing::AssertionResult CDesktopTest::ExitsFromMenu(CCorvaneProcess& corvane, const QPoint& at)
{
    if (!corvane.PickFromMenu(at, "x"))
        return ::testing::AssertionFailure()
            << "no menu" << (corvane.Running() ? "" : ": ended, " + corvane.Output().toStdString());
    int code = -1;
    if (!corvane.WaitForExit(10000, &code))
        return ::testing::AssertionFailure() << "Exit did not end the program";
    if (code != 0)
        return ::testing::AssertionFailure()
            << "exit code " << code << ": " << corvane.Output().toStdString();
    return ::testing::AssertionSuccess();
}
