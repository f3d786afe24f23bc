#pragma once

#include "platform/IResources.h"
#include "platform/linux/desktop/QtResources.h"

#include <QColor>
#include <map>
#include <vector>

// Draws each icon as a solid square in the colour chosen for its id (grey for others), and
// remembers what was loaded and handed back. The skin, the strings and the menu are the
// program's own. An id in `missing` names no resource of any kind.
class CFakeResources : public IResources {
public:
    QImage LoadBitmap(int id) override;
    QIcon LoadIcon(int id) override;
    void DestroyIcon(QIcon& hIcon) override;
    QString LoadString(int id) override;
    MenuResource LoadMenu(int id) override;

    static QIcon Solid(const QColor& colour, int nSize = 32);

    std::map<uint16_t, QColor> colours;
    std::vector<uint16_t> missing;
    std::vector<uint16_t> loaded;
    std::vector<qint64> loadedKeys;
    std::vector<qint64> destroyedKeys;

private:
    bool Missing(int id) const;

    CQtResources m_real;
};
