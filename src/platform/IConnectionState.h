#pragma once

// Whether the machine has a working network connection; asked twice per 200 ms tick.
class IConnectionState {
public:
    virtual ~IConnectionState() = default;
    virtual bool IsConnected() = 0;
};
