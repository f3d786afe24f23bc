// Start to window mapped, measured by the X server's own notice: starts a command and prints
// the milliseconds until the server maps a top-level window of that process with the given
// name, then ends the process. No polling, so the figure is not rounded up to a poll period.
//
//   corvane_maptime <window name> <command> [arguments...]
//
// The command must become the process it starts (exec), as env and ip netns exec do, so the
// window's _NET_WM_PID names the started process. Exit status 1 when no such window appears
// within 20 s or the process ends first.
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The property's bytes, or an empty string when the window has none (or is gone).
std::string Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type)
{
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 256), nullptr),
        &std::free);
    if (!reply)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
        size_t(xcb_get_property_value_length(reply.get())));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: corvane_maptime <window name> <command> [arguments...]\n", stderr);
        return 2;
    }
    const std::string wanted = argv[1];
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fputs("corvane_maptime: cannot open the display\n", stderr);
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask[] = { XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY };
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, mask);
    const xcb_atom_t pidAtom = Atom(c, "_NET_WM_PID");
    const xcb_atom_t nameAtom = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // the mask is set

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    if (child < 0)
        return 1;

    int status = 1;
    pollfd fd { xcb_get_file_descriptor(c), POLLIN, 0 };
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
        if (waitpid(child, nullptr, WNOHANG) == child) {
            std::fprintf(stderr, "corvane_maptime: %s ended before its window appeared\n", argv[2]);
            return 1;
        }
        xcb_generic_event_t* event = xcb_poll_for_event(c);
        if (!event) {
            if (xcb_connection_has_error(c))
                break;
            poll(&fd, 1, 100);
            continue;
        }
        if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            const xcb_window_t w = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            const std::string pid = Property(c, w, pidAtom, XCB_ATOM_CARDINAL);
            const bool ours = pid.size() == 4
                && *reinterpret_cast<const uint32_t*>(pid.data()) == uint32_t(child);
            std::string name = Property(c, w, nameAtom, utf8);
            if (name.empty())
                name = Property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
            if (ours && name == wanted) {
                std::printf("%.1f\n", std::chrono::duration<double, std::milli>(elapsed).count());
                status = 0;
                free(event);
                break;
            }
        }
        free(event);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    xcb_disconnect(c);
    if (status != 0)
        std::fprintf(stderr, "corvane_maptime: no window named %s\n", wanted.c_str());
    return status;
}
