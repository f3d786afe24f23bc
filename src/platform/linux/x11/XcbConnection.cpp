#include "platform/linux/x11/XcbConnection.h"

#include "platform/linux/x11/XcbReply.h"

#include <QGuiApplication>

xcb_connection_t* CXcbConnection::Get()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* pX11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return pX11 ? pX11->connection() : nullptr;
}

xcb_atom_t CXcbConnection::InternAtom(xcb_connection_t* pConnection, const QByteArray& name)
{
    const XcbReply<xcb_intern_atom_reply_t> pReply(xcb_intern_atom_reply(
        pConnection, xcb_intern_atom(pConnection, 0, name.size(), name.constData()), nullptr));
    return pReply ? pReply->atom : xcb_atom_t(XCB_ATOM_NONE);
}
