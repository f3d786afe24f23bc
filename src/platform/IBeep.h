#pragma once

// The desktop's warning sound: the only audible sign the program ever gives (a link that
// cannot be opened).
class IBeep {
public:
    virtual ~IBeep() = default;
    virtual void MessageBeep() = 0;
};
