#pragma once

#include <xcb/xcb.h>

// Before Qt starts: can the X display the program is about to use be opened? Qt's own answer
// to a missing display is an abort with advice that does not apply.
//
// The connection stays open until Release: an X server that has no client left resets
// itself (Xvfb and others without -noreset), and a reset between this check and Qt's own
// connection closes Qt's connection under it.
class CXcbDisplayCheck {
public:
    explicit CXcbDisplayCheck(const char* display);
    ~CXcbDisplayCheck();
    CXcbDisplayCheck(const CXcbDisplayCheck&) = delete;
    CXcbDisplayCheck& operator=(const CXcbDisplayCheck&) = delete;

    bool Opened() const { return m_pConnection != nullptr; }
    void Release();

private:
    xcb_connection_t* m_pConnection = nullptr;
};
