#include "platform/linux/XcbConnection.h"

#include <QGuiApplication>
#include <cstdlib>

xcb_connection_t* CXcbConnection::Get()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* pX11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return pX11 ? pX11->connection() : nullptr;
}

xcb_atom_t CXcbConnection::InternAtom(xcb_connection_t* pConnection, const QByteArray& name)
{
    xcb_intern_atom_reply_t* pReply = xcb_intern_atom_reply(
        pConnection, xcb_intern_atom(pConnection, 0, name.size(), name.constData()), nullptr);
    if (!pReply)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = pReply->atom;
    free(pReply);
    return atom;
}
