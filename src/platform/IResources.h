#pragma once

#include "platform/MenuResource.h"

#include <QIcon>
#include <QImage>
#include <QString>

// The program's resource module: the skin, the icons, the strings and the tray menu, looked
// up by their numbers from ResourceIds.h. An unknown id gives a null image, a null icon, an
// empty string or a null menu, never a crash.
class IResources {
public:
    virtual ~IResources() = default;
    // Bitmap 134 (the skin, 174 x 123, no alpha).
    virtual QImage LoadBitmap(int id) = 0;
    // Icon 128 (the program's), icons 135 to 138 (the tray's activity images). An icon from
    // LoadIcon belongs to the caller until it hands it back to DestroyIcon.
    virtual QIcon LoadIcon(int id) = 0;
    virtual void DestroyIcon(QIcon& hIcon) = 0;
    // Strings 101 and 102.
    virtual QString LoadString(int id) = 0;
    // Menu 133, the tray menu.
    virtual MenuResource LoadMenu(int id) = 0;
};
