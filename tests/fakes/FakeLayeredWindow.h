#pragma once

#include "platform/ILayeredWindow.h"

#include <map>
#include <string>
#include <vector>

// Keeps each window's style word and alpha in maps, counts lookups, and logs the calls that
// change a window ("style 0x80001", "alpha 128") in order.
class CFakeLayeredWindow : public ILayeredWindow {
public:
    bool LoadLibrary() override;
    bool FindSetLayeredWindowAttributes() override;
    bool SetLayeredWindowAttributes(
        QWidget* pWindow, uint32_t crKey, uint8_t bAlpha, uint32_t dwFlags) override;
    uint32_t GetExStyle(QWidget* pWindow) override { return styles[pWindow]; }
    bool SetExStyle(QWidget* pWindow, uint32_t dwExStyle) override;

    bool libraryAvailable = true;
    bool functionAvailable = true;
    int libraryLoads = 0;
    int functionLookups = 0;
    std::map<QWidget*, uint32_t> styles;
    std::map<QWidget*, int> alphas; // absent: never given an alpha
    std::vector<std::string> log;
};
