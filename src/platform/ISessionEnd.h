#pragma once

#include <functional>

// Tells the program that its session asks it to end (logout, a terminal closing, Ctrl+C,
// a service manager stopping it). The handler runs on the event loop, like any command.
class ISessionEnd {
public:
    virtual ~ISessionEnd() = default;
    // An empty handler stops the calls.
    virtual void SetHandler(std::function<void()> handler) = 0;
};
