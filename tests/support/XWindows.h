#pragma once

#include <QRect>
#include <QString>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

// One X window as xwininfo would report it.
struct XWindowInfo {
    qulonglong id = 0;
    QString name; // _NET_WM_NAME, else WM_NAME, exactly as set (empty when there is none)
    QRect geometry; // absolute position on the screen, and size
    bool mapped = false; // viewable
    bool overrideRedirect = false;
    qulonglong parent = 0; // 0 when the parent is the root window
};

// Questions about the test display's windows, asked of the X server over one connection of
// the test's own: the desktop tests poll these many times a second, and a helper program
// (xwininfo, xdotool) started for each answer cost more than the program under test.
class CXWindows {
public:
    explicit CXWindows(const std::string& display);
    ~CXWindows();
    CXWindows(const CXWindows&) = delete;
    CXWindows& operator=(const CXWindows&) = delete;

    // Nothing (id 0) for a window that does not exist.
    XWindowInfo Describe(qulonglong id) const;
    // Every window, at any depth, whose _NET_WM_PID is pid, in stacking order.
    std::vector<qulonglong> OwnedBy(qint64 pid) const;
    // The first window, at any depth, whose WM_CLASS instance is `instance`.
    std::optional<qulonglong> WithClass(const QString& instance) const;
    // The 32-bit items of a window's property (id 0: the root window's); empty when unset.
    std::vector<quint32> Values(qulonglong id, const char* property) const;
    // Whether the window's atom-list property (such as _NET_WM_WINDOW_TYPE) names `value`.
    bool ListsAtom(qulonglong id, const char* property, const char* value) const;
    // Whether `upper` is stacked above `lower`: compared by the top-level windows (or window
    // manager frames) they sit in.
    bool Above(qulonglong upper, qulonglong lower) const;
    // Whether the keyboard focus is on the window or inside it.
    bool HasFocus(qulonglong id) const;
    // The selection's owner, 0 when nobody owns it.
    qulonglong SelectionOwner(const char* selection) const;

    xcb_atom_t Atom(const char* name) const;

private:
    std::vector<xcb_window_t> AllWindows() const;
    xcb_window_t Parent(xcb_window_t window) const;
    // The property's raw bytes (empty when unset).
    QByteArray Property(xcb_window_t window, xcb_atom_t property) const;
    // The property's bytes for each window (its first 256).
    std::vector<QByteArray> PropertyOfAll(
        const std::vector<xcb_window_t>& windows, xcb_atom_t property) const;

    xcb_connection_t* m_pConnection = nullptr;
    xcb_window_t m_root = 0;
};
