#include "platform/linux/x11/XcbDisplayCheck.h"

#include <time.h>

CXcbDisplayCheck::CXcbDisplayCheck(const char* display)
{
    // A server in the middle of a reset (its last client just left) closes new connections:
    // a few tries a tenth of a second apart ride that out.
    constexpr int kTries = 4;
    for (int i = 0; i < kTries; ++i) {
        xcb_connection_t* pConnection = xcb_connect(display, nullptr);
        if (xcb_connection_has_error(pConnection) == 0) {
            m_pConnection = pConnection;
            return;
        }
        xcb_disconnect(pConnection);
        const timespec pause { 0, 100'000'000 };
        if (i + 1 < kTries)
            nanosleep(&pause, nullptr);
    }
}

CXcbDisplayCheck::~CXcbDisplayCheck()
{
    Release();
}

void CXcbDisplayCheck::Release()
{
    if (m_pConnection)
        xcb_disconnect(m_pConnection);
    m_pConnection = nullptr;
}
