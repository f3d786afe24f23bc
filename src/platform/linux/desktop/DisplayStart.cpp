#include "platform/linux/desktop/DisplayStart.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/time.h>
#include <unistd.h>

namespace {

// What Qt's message handler and the deadline's signal handler reach: the object holding the
// start, set while it does, and the line the deadline writes, made before it is armed.
std::atomic<CDisplayStart*> g_pStart { nullptr };
char g_deadlineLine[512];
std::atomic<size_t> g_nDeadlineLength { 0 };

// Qt's own options (-platform NAME, -display NAME, also with two dashes); the rest of the
// command line is none of this check's business.
const char* OptionValue(int argc, char** argv, std::string_view name)
{
    for (int i = 1; i + 1 < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.starts_with("--"))
            arg.remove_prefix(1);
        if (arg.size() == name.size() + 1 && arg[0] == '-' && arg.substr(1) == name)
            return argv[i + 1];
    }
    return nullptr;
}

// The names in a platform list ("xcb;wayland"), options after a colon left out.
std::vector<std::string_view> Platforms(std::string_view list)
{
    std::vector<std::string_view> names;
    while (!list.empty()) {
        const size_t end = list.find(';');
        std::string_view name = list.substr(0, end);
        name = name.substr(0, name.find(':'));
        if (!name.empty())
            names.push_back(name);
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return names;
}

std::string Quoted(std::string_view text)
{
    // Built by appending: "\"" + std::string makes g++ 12 at -O2 warn falsely (-Wrestrict).
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '"').append(text).append(1, '"');
    return quoted;
}

void WriteLine(const std::string& line)
{
    const std::string text = "corvane: " + line + "\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text.data(), text.size());
}

} // namespace

CDisplayStart::CDisplayStart(int argc, char** argv)
{
    const char* platform = OptionValue(argc, argv, "platform");
    if (!platform)
        platform = std::getenv("QT_QPA_PLATFORM");
    const std::vector<std::string_view> platforms = Platforms(platform ? platform : "");
    const bool onlyX11 = std::all_of(
        platforms.begin(), platforms.end(), [](std::string_view name) { return name == "xcb"; });
    const char* display = OptionValue(argc, argv, "display");
    if (!display)
        display = std::getenv("DISPLAY");
    if (onlyX11) {
        m_strWhat = "display " + Quoted(display ? display : "");
    } else if (platforms.size() == 1 && platforms[0] == "wayland") {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        m_strWhat = "Wayland display " + Quoted(wayland && *wayland ? wayland : "wayland-0");
    } else {
        m_strWhat = "a display through Qt's platform " + Quoted(platform);
    }

    // Qt holds back nothing it says from here on until Finish; a fatal message ends the start.
    g_pStart = this;
    m_previousHandler = qInstallMessageHandler(&CDisplayStart::OnQtMessage);
    m_bHolding = true;

    // With another platform in the list Qt has somewhere else to go.
    if (!onlyX11)
        return;
    if (!display || !*display) {
        m_strProblem = "cannot open display: DISPLAY is not set";
        return;
    }
    const std::string late = "corvane: " + m_strWhat + " does not answer\n";
    const size_t length = std::min(late.size(), sizeof(g_deadlineLine));
    std::memcpy(g_deadlineLine, late.data(), length);
    g_nDeadlineLength = length;
    struct sigaction action { };
    action.sa_handler = &CDisplayStart::OnDeadline;
    sigemptyset(&action.sa_mask);
    struct sigaction previous { };
    sigaction(SIGALRM, &action, &previous);
    itimerval deadline {};
    deadline.it_value.tv_sec = kDeadlineMs / 1000;
    deadline.it_value.tv_usec = (kDeadlineMs % 1000) * 1000;
    setitimer(ITIMER_REAL, &deadline, nullptr);

    m_pCheck = std::make_unique<CXcbDisplayCheck>(display);

    const itimerval off {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    if (!m_pCheck->Opened())
        m_strProblem = "cannot open " + m_strWhat;
}

CDisplayStart::~CDisplayStart()
{
    Finish();
}

void CDisplayStart::Finish()
{
    if (m_bHolding) {
        m_bHolding = false;
        qInstallMessageHandler(m_previousHandler);
        g_pStart = nullptr;
        for (const HeldMessage& message : m_held) {
            const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
            qt_message_output(message.type, context, message.text);
        }
        m_held.clear();
    }
    m_pCheck.reset();
}

void CDisplayStart::OnQtMessage(
    QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    CDisplayStart* pStart = g_pStart;
    if (!pStart)
        return;
    if (type == QtFatalMsg) {
        // Qt could not start a platform: what it would say next is advice that does not
        // apply here, then an abort.
        WriteLine("cannot open " + pStart->m_strWhat);
        ::_exit(1);
    }
    pStart->m_held.push_back({ type, QByteArray(context.category ? context.category : ""), text });
}

void CDisplayStart::OnDeadline(int)
{
    [[maybe_unused]] const ssize_t written
        = ::write(STDERR_FILENO, g_deadlineLine, g_nDeadlineLength.load());
    ::_exit(1);
}
