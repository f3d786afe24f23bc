#pragma once

#include "app/MenuResource.h"

#include <QIcon>
#include <QImage>
#include <QString>

#include <map>
#include <vector>

// The program's resource module: the skin, the icons, the strings and the tray menu, looked
// up by their numbers from ResourceIds.h. Every call builds its answer from the compiled-in
// images (:/corvane/...) and the tables in Resources.cpp, except that an icon is made once
// and then handed out as a shared copy, each of its sizes decoded when first shown: the
// program icon alone is eight PNGs, and the main window, the About box and the tray all ask
// for icons at start-up. An unknown id gives a null image, a null icon, an empty string or a
// null menu, never a crash.
// The functions are virtual so a test can stand in a module with a resource missing.
class CResources {
public:
    virtual ~CResources() = default;

    // Bitmap 134 (the skin, 174 x 123, no alpha).
    virtual QImage LoadBitmap(int id) const;
    // Icon 128 at 16..256 px, icons 135..138 at 16, 22, 24 and 32 px.
    virtual QIcon LoadIcon(int id) const;
    // Strings 101 and 102.
    virtual QString LoadString(int id) const;
    // Menu 133, the tray menu.
    virtual MenuResource LoadMenu(int id) const;

    // The pixel sizes an icon is drawn at (empty for an unknown id), and the resource path of
    // one of them (empty when that size is not drawn).
    static std::vector<int> IconSizes(int id);
    static QString IconPath(int id, int size);
    // Decodes one of the compiled-in PNGs (a null image when it cannot).
    static QImage ReadPng(const QString& path);

private:
    mutable std::map<int, QIcon> m_icons; // icons made so far, by id
};
