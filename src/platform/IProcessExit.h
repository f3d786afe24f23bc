#pragma once

// Ends the program with an exit code: the event loop stops and start-up's caller tears the
// application down (tray icon first) before the process returns the code.
class IProcessExit {
public:
    virtual ~IProcessExit() = default;
    virtual void Exit(int code) = 0;
};
