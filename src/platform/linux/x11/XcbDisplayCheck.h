#pragma once

#include <string>

// Before Qt starts: can the X display the program is about to use be opened? Qt's own
// answer to a missing display is an abort with advice that does not apply.
class CXcbDisplayCheck {
public:
    // Empty when the display opens or another platform (offscreen, Wayland) was asked for;
    // otherwise one line that names the display.
    static std::string Problem(int argc, char** argv);
};
