#include "platform/linux/desktop/QtDesktopShell.h"

#include "platform/linux/x11/XcbConnection.h"
#include "platform/linux/x11/XcbReply.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QWidget>
#include <algorithm>
#include <vector>

QPoint CQtDesktopShell::GetCursorPos()
{
    return QCursor::pos();
}

int CQtDesktopShell::TrackPopupMenu(
    const std::vector<PopupMenuItem>& items, const QPoint& pos, QWidget* owner)
{
    QMenu menu(owner);
    for (const PopupMenuItem& item : items) {
        if (item.separator) {
            menu.addSeparator();
            continue;
        }
        menu.addAction(item.text)->setData(item.id);
    }
    QAction* chosen = menu.exec(pos);
    return chosen ? chosen->data().toInt() : 0;
}

void CQtDesktopShell::SkipTaskbar(QWidget* pWindow)
{
    AddWmStates(pWindow, { "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER" });
}

void CQtDesktopShell::ShowOnAllDesktops(QWidget* pWindow)
{
    xcb_connection_t* pConnection = CXcbConnection::Get();
    if (!pConnection || !pWindow)
        return;
    // Desktop 0xFFFFFFFF is every desktop; window managers read it at mapping time, and the
    // sticky state says the same to those that look there.
    const xcb_atom_t desktop = CXcbConnection::InternAtom(pConnection, "_NET_WM_DESKTOP");
    if (desktop != XCB_ATOM_NONE) {
        const uint32_t all = 0xFFFFFFFF;
        xcb_change_property(pConnection, XCB_PROP_MODE_REPLACE, xcb_window_t(pWindow->winId()),
            desktop, XCB_ATOM_CARDINAL, 32, 1, &all);
    }
    AddWmStates(pWindow, { "_NET_WM_STATE_STICKY" });
}

void CQtDesktopShell::AddWmStates(QWidget* pWindow, std::initializer_list<const char*> names)
{
    xcb_connection_t* pConnection = CXcbConnection::Get();
    if (!pConnection || !pWindow)
        return;
    const auto window = xcb_window_t(pWindow->winId());
    const xcb_atom_t state = CXcbConnection::InternAtom(pConnection, "_NET_WM_STATE");
    if (state == XCB_ATOM_NONE)
        return;

    std::vector<xcb_atom_t> atoms;
    const XcbReply<xcb_get_property_reply_t> pReply(xcb_get_property_reply(pConnection,
        xcb_get_property(pConnection, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (pReply && pReply->format == 32 && pReply->type == XCB_ATOM_ATOM) {
        const auto* pAtoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(pReply.get()));
        atoms.assign(pAtoms, pAtoms + xcb_get_property_value_length(pReply.get()) / 4);
    }
    for (const char* name : names) {
        const xcb_atom_t atom = CXcbConnection::InternAtom(pConnection, name);
        if (atom != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), atom) == atoms.end())
            atoms.push_back(atom);
    }
    xcb_change_property(pConnection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
        uint32_t(atoms.size()), atoms.data());
    xcb_flush(pConnection);
}

void CQtDesktopShell::MessageBeep()
{
    QApplication::beep();
}

void CQtDesktopShell::ExitProcess(int code)
{
    QCoreApplication::exit(code);
}

void CQtDesktopShell::SetSessionEndHandler(std::function<void()> handler)
{
    m_sessionEnd.SetHandler(std::move(handler));
}
