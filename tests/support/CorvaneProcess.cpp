#include "support/CorvaneProcess.h"

#include "support/DesktopSession.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <csignal>

namespace {

const QString kTrafficWindowName = QStringLiteral("Corvane");

const CXWindows& X()
{
    return CDesktopSession::Instance().XWindows();
}

} // namespace

CCorvaneProcess::CCorvaneProcess(QString strProgram)
    : m_strProgram(std::move(strProgram))
    , m_pHome(std::make_unique<QTemporaryDir>())
{
    QDir(m_pHome->path()).mkpath(QStringLiteral("config/corvane"));
    QDir(m_pHome->path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_pHome->filePath(QStringLiteral("runtime")),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

CCorvaneProcess::~CCorvaneProcess()
{
    Stop();
}

QString CCorvaneProcess::ConfigFile() const
{
    return m_pHome->filePath(QStringLiteral("config/corvane/corvane.conf"));
}

bool CCorvaneProcess::WriteConfig(const QByteArray& contents) const
{
    QFile file(ConfigFile());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size();
}

bool CCorvaneProcess::WriteSettings(const QMap<QString, int>& values) const
{
    QByteArray text = "[Settings]\n";
    for (auto it = values.begin(); it != values.end(); ++it)
        text += it.key().toLatin1() + '=' + QByteArray::number(it.value()) + '\n';
    return WriteConfig(text);
}

QMap<QString, QString> CCorvaneProcess::ReadSettings() const
{
    QMap<QString, QString> values;
    QFile file(ConfigFile());
    if (!file.open(QIODevice::ReadOnly))
        return values;
    bool inSettings = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            inSettings = line == QStringLiteral("[Settings]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inSettings && eq > 0)
            values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return values;
}

bool CCorvaneProcess::Start(const QStringList& prefix, int nTimeoutMs)
{
    Stop();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "DBUS_SESSION_BUS_ADDRESS",
             "QT_QPA_PLATFORMTHEME", "SESSION_MANAGER" })
        env.remove(QString::fromLatin1(name));
    env.insert("DBUS_SESSION_BUS_ADDRESS", CDesktopSession::kNoSessionBus);
    env.insert("DISPLAY", QString::fromStdString(CDesktopSession::Instance().Display()));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_CONFIG_HOME", m_pHome->filePath(QStringLiteral("config")));
    env.insert("XDG_RUNTIME_DIR", m_pHome->filePath(QStringLiteral("runtime")));
    for (auto it = m_extraEnv.begin(); it != m_extraEnv.end(); ++it)
        env.insert(it.key(), it.value());

    m_pProcess = std::make_unique<QProcess>();
    m_pProcess->setProcessEnvironment(env);
    m_pProcess->setProcessChannelMode(QProcess::MergedChannels);
    m_pProcess->setStandardOutputFile(m_pHome->filePath(QStringLiteral("output.log")));
    QStringList args = prefix;
    args << m_strProgram;
    const QString program = args.takeFirst();
    m_pProcess->start(program, args);
    if (!m_pProcess->waitForStarted(nTimeoutMs))
        return false;
    return CDesktopSession::WaitFor(
               [&] {
                   if (!Running())
                       return true;
                   const auto window = TrafficWindow();
                   return window && window->mapped;
               },
               nTimeoutMs)
        && Running();
}

qint64 CCorvaneProcess::Pid() const
{
    return m_pProcess ? m_pProcess->processId() : 0;
}

bool CCorvaneProcess::Running() const
{
    if (!m_pProcess || m_pProcess->state() == QProcess::NotRunning)
        return false;
    // Lets QProcess notice (and reap) a program that has ended.
    return !m_pProcess->waitForFinished(0);
}

bool CCorvaneProcess::WaitForExit(int nTimeoutMs, int* pExitCode)
{
    if (!m_pProcess)
        return false;
    if (m_pProcess->state() != QProcess::NotRunning && !m_pProcess->waitForFinished(nTimeoutMs))
        return false;
    if (pExitCode)
        *pExitCode = m_pProcess->exitStatus() == QProcess::NormalExit ? m_pProcess->exitCode() : -1;
    return true;
}

void CCorvaneProcess::Stop()
{
    if (!m_pProcess || m_pProcess->state() == QProcess::NotRunning)
        return;
    m_pProcess->terminate();
    if (!m_pProcess->waitForFinished(5000)) {
        m_pProcess->kill();
        m_pProcess->waitForFinished(5000);
    }
}

void CCorvaneProcess::Signal(int nSignal) const
{
    if (Pid() > 0)
        ::kill(pid_t(Pid()), nSignal);
}

QString CCorvaneProcess::Output() const
{
    QFile file(m_pHome->filePath(QStringLiteral("output.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

std::vector<XWindowInfo> CCorvaneProcess::Windows() const
{
    std::vector<XWindowInfo> windows;
    if (Pid() <= 0)
        return windows;
    for (qulonglong id : X().OwnedBy(Pid())) {
        XWindowInfo info = X().Describe(id);
        if (info.id != 0)
            windows.push_back(info);
    }
    return windows;
}

namespace {

// A window of its own on the desktop: a child of the root, or of a window manager's frame
// (the manager marks the windows it manages with WM_STATE).
bool IsTopLevel(const XWindowInfo& w)
{
    return w.parent == 0 || !X().Values(w.id, "WM_STATE").empty();
}

} // namespace

std::optional<XWindowInfo> CCorvaneProcess::TrafficWindow() const
{
    // Qt gives the program's untitled windows (its menus) the application's name as well;
    // those pass the window manager by.
    for (const XWindowInfo& w : Windows())
        if (w.name == kTrafficWindowName && !w.overrideRedirect && IsTopLevel(w))
            return w;
    return std::nullopt;
}

std::optional<XWindowInfo> CCorvaneProcess::MappedWindow(const QString& name) const
{
    for (const XWindowInfo& w : Windows())
        if (w.mapped && w.name == name && IsTopLevel(w))
            return w;
    return std::nullopt;
}

std::vector<XWindowInfo> CCorvaneProcess::DockedIcons() const
{
    std::vector<XWindowInfo> icons;
    // trayer's panel is the window of class "panel".
    const auto panelId = X().WithClass(QStringLiteral("panel"));
    const QRect panel = panelId ? X().Describe(*panelId).geometry : QRect();
    if (panel.isEmpty())
        return icons;
    for (const XWindowInfo& w : Windows())
        if (w.parent != 0 && w.mapped && panel.contains(w.geometry.center()) && !IsTopLevel(w))
            icons.push_back(w);
    return icons;
}

std::optional<XWindowInfo> CCorvaneProcess::OpenMenu() const
{
    for (const XWindowInfo& w : Windows())
        if (w.parent == 0 && w.mapped && w.overrideRedirect
            && !X().ListsAtom(w.id, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_TOOLTIP"))
            return w;
    return std::nullopt;
}

bool CCorvaneProcess::PickFromMenu(const QPoint& at, const QString& key) const
{
    CDesktopSession& session = CDesktopSession::Instance();
    // A window only just mapped may not take its first click yet (the program is still
    // starting up next to other tests): a click that brought no menu is given again, with
    // more time for a menu that is only slow to come.
    bool opened = false;
    for (int attempt = 0; attempt < 3 && !opened; ++attempt) {
        session.Click(at, 3);
        opened = CDesktopSession::WaitFor(
            [&] { return OpenMenu().has_value(); }, attempt == 0 ? 2000 : 5000);
    }
    if (!opened)
        return false;
    session.Run("xdotool", { "key", key });
    return CDesktopSession::WaitFor([&] { return !OpenMenu().has_value(); }, 5000);
}
