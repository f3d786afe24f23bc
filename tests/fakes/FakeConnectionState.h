#pragma once

#include "platform/IConnectionState.h"

// A connection state the test sets; counts how often it was asked.
class CFakeConnectionState : public IConnectionState {
public:
    bool IsConnected() override
    {
        ++queries;
        return connected;
    }

    bool connected = true;
    int queries = 0;
};
