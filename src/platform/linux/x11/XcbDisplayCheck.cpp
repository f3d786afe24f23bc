#include "platform/linux/x11/XcbDisplayCheck.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <xcb/xcb.h>

namespace {

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

// True when the platforms asked for are X11 alone (or nothing, which on Linux means X11).
bool OnlyX11(std::string_view platforms)
{
    while (!platforms.empty()) {
        const size_t end = platforms.find(';');
        const std::string_view name = platforms.substr(0, end);
        if (!name.empty() && name != "xcb")
            return false;
        if (end == std::string_view::npos)
            break;
        platforms.remove_prefix(end + 1);
    }
    return true;
}

} // namespace

std::string CXcbDisplayCheck::Problem(int argc, char** argv)
{
    const char* platform = OptionValue(argc, argv, "platform");
    if (!platform)
        platform = std::getenv("QT_QPA_PLATFORM");
    // With another platform in the list Qt has somewhere else to go.
    if (platform && !OnlyX11(platform))
        return {};

    const char* display = OptionValue(argc, argv, "display");
    if (!display)
        display = std::getenv("DISPLAY");
    if (!display || !*display)
        return "cannot open display: DISPLAY is not set";

    xcb_connection_t* pConnection = xcb_connect(display, nullptr);
    const bool bFailed = xcb_connection_has_error(pConnection) != 0;
    xcb_disconnect(pConnection);
    if (bFailed)
        return std::string("cannot open display \"") + display + "\"";
    return {};
}
