#include "fakes/FakeLayeredWindow.h"

#include <cstdio>

bool CFakeLayeredWindow::LoadLibrary()
{
    ++libraryLoads;
    return libraryAvailable;
}

bool CFakeLayeredWindow::FindSetLayeredWindowAttributes()
{
    ++functionLookups;
    return functionAvailable;
}

bool CFakeLayeredWindow::SetLayeredWindowAttributes(
    QWidget* pWindow, uint32_t, uint8_t bAlpha, uint32_t dwFlags)
{
    log.push_back("alpha " + std::to_string(bAlpha) + " flags " + std::to_string(dwFlags));
    alphas[pWindow] = bAlpha;
    return true;
}

bool CFakeLayeredWindow::SetExStyle(QWidget* pWindow, uint32_t dwExStyle)
{
    char text[32];
    std::snprintf(text, sizeof(text), "style 0x%x", dwExStyle);
    log.push_back(text);
    styles[pWindow] = dwExStyle;
    return true;
}
