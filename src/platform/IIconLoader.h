#pragma once

#include <QIcon>
#include <cstdint>

// Loads the program's icons by resource id (135 to 138 are the tray's activity images).
// An icon from LoadIcon belongs to the caller until it hands it back to DestroyIcon.
class IIconLoader {
public:
    virtual ~IIconLoader() = default;
    // A null icon when the id names no icon.
    virtual QIcon LoadIcon(uint16_t nResourceId) = 0;
    virtual void DestroyIcon(QIcon& hIcon) = 0;
};
