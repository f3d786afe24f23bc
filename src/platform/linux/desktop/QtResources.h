#pragma once

#include "platform/IResources.h"

#include <map>
#include <vector>

// The resources compiled into the program (:/corvane/...) and the tables in QtResources.cpp.
// Every call builds its answer afresh, except that an icon is made once and then handed out
// as a shared copy, each of its sizes decoded when first shown: the program icon alone is
// eight PNGs, and the main window, the About box and the tray all ask for icons at start-up.
// Handing an icon back only drops the caller's reference.
class CQtResources : public IResources {
public:
    QImage LoadBitmap(int id) override;
    // Icon 128 at 16..256 px, icons 135..138 at 16, 22, 24 and 32 px.
    QIcon LoadIcon(int id) override;
    void DestroyIcon(QIcon& hIcon) override { hIcon = QIcon(); }
    QString LoadString(int id) override;
    MenuResource LoadMenu(int id) override;

    // The pixel sizes an icon is drawn at (empty for an unknown id), and the resource path of
    // one of them (empty when that size is not drawn).
    static std::vector<int> IconSizes(int id);
    static QString IconPath(int id, int size);
    // Decodes one of the compiled-in PNGs (a null image when it cannot).
    static QImage ReadPng(const QString& path);

private:
    std::map<int, QIcon> m_icons; // icons made so far, by id
};
