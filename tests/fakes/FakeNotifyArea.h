#pragma once

#include "platform/INotifyArea.h"

#include <deque>
#include <string>
#include <vector>

// Records every message with a copy of its record and answers from a queue of chosen
// answers (then `answer`), so any single call can be refused.
class CFakeNotifyArea : public INotifyArea {
public:
    struct Call {
        uint32_t dwMessage;
        NotifyIconData record;
    };

    bool ShellUsable() override { return shellUsable; }
    bool StateSupported() override { return stateSupported; }
    bool NotifyIcon(uint32_t dwMessage, const NotifyIconData& record) override;
    void MenuChanged() override { ++menuChanges; }
    void SetListener(INotifyAreaListener* pListener) override { listener = pListener; }

    // Short forms of what was sent: "add", "modify", "delete".
    std::vector<std::string> Messages() const;

    bool shellUsable = true;
    bool stateSupported = true;
    bool answer = true;
    std::deque<bool> answers;
    std::vector<Call> calls;
    INotifyAreaListener* listener = nullptr;
    int menuChanges = 0;
};
