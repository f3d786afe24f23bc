#include "fakes/FakeIconLoader.h"

#include <QPixmap>
#include <algorithm>

QIcon CFakeIconLoader::Solid(const QColor& colour, int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QIcon CFakeIconLoader::LoadIcon(uint16_t nResourceId)
{
    loaded.push_back(nResourceId);
    if (std::find(missing.begin(), missing.end(), nResourceId) != missing.end())
        return {};
    const auto it = colours.find(nResourceId);
    QIcon icon = Solid(it != colours.end() ? it->second : QColor(Qt::gray));
    loadedKeys.push_back(icon.cacheKey());
    return icon;
}

void CFakeIconLoader::DestroyIcon(QIcon& hIcon)
{
    destroyedKeys.push_back(hIcon.cacheKey());
    hIcon = QIcon();
}
