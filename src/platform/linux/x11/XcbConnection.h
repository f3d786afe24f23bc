#pragma once

#include <QByteArray>
#include <xcb/xcb.h>

// The X server connection Qt's xcb platform opened, for the few things Qt does not say.
class CXcbConnection {
public:
    // Null on any other platform (the offscreen one may answer for X11 without a connection).
    static xcb_connection_t* Get();
    static xcb_atom_t InternAtom(xcb_connection_t* pConnection, const QByteArray& name);
};
