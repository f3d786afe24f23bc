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
    xcb_connection_t* pConnection = CXcbConnection::Get();
    if (!pConnection || !pWindow)
        return;
    const auto window = xcb_window_t(pWindow->winId());
    const xcb_atom_t state = CXcbConnection::InternAtom(pConnection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar
        = CXcbConnection::InternAtom(pConnection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager
        = CXcbConnection::InternAtom(pConnection, "_NET_WM_STATE_SKIP_PAGER");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE || skipPager == XCB_ATOM_NONE)
        return;

    std::vector<xcb_atom_t> atoms;
    const XcbReply<xcb_get_property_reply_t> pReply(xcb_get_property_reply(pConnection,
        xcb_get_property(pConnection, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr));
    if (pReply && pReply->format == 32 && pReply->type == XCB_ATOM_ATOM) {
        const auto* pAtoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(pReply.get()));
        atoms.assign(pAtoms, pAtoms + xcb_get_property_value_length(pReply.get()) / 4);
    }
    for (const xcb_atom_t atom : { skipTaskbar, skipPager })
        if (std::find(atoms.begin(), atoms.end(), atom) == atoms.end())
            atoms.push_back(atom);
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
