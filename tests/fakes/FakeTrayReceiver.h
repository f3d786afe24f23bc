#pragma once

#include "platform/ITrayReceiver.h"

#include <vector>

// Stands in for the main window: remembers every notification it is sent.
class CFakeTrayReceiver : public ITrayReceiver {
public:
    struct Notification {
        uint32_t nMessage;
        uintptr_t wParam;
        uintptr_t lParam;
    };

    long OnTrayNotification(uint32_t nMessage, uintptr_t wParam, uintptr_t lParam) override
    {
        received.push_back({ nMessage, wParam, lParam });
        return 0;
    }

    std::vector<Notification> received;
};
