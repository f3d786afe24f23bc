#pragma once

#include "platform/IIconLoader.h"

#include <QColor>
#include <map>
#include <vector>

// Draws each icon as a solid square in the colour chosen for its id (grey for others; none
// for ids in `missing`), and remembers what was loaded and handed back.
class CFakeIconLoader : public IIconLoader {
public:
    QIcon LoadIcon(uint16_t nResourceId) override;
    void DestroyIcon(QIcon& hIcon) override;

    static QIcon Solid(const QColor& colour, int nSize = 32);

    std::map<uint16_t, QColor> colours;
    std::vector<uint16_t> missing;
    std::vector<uint16_t> loaded;
    std::vector<qint64> loadedKeys;
    std::vector<qint64> destroyedKeys;
};
