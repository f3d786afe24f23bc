#include "fakes/FakeResources.h"

#include <QPixmap>
#include <algorithm>

QIcon CFakeResources::Solid(const QColor& colour, int nSize)
{
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

bool CFakeResources::Missing(int id) const
{
    return std::find(missing.begin(), missing.end(), id) != missing.end();
}

QImage CFakeResources::LoadBitmap(int id)
{
    return Missing(id) ? QImage() : m_real.LoadBitmap(id);
}

QIcon CFakeResources::LoadIcon(int id)
{
    loaded.push_back(uint16_t(id));
    if (Missing(id))
        return {};
    const auto it = colours.find(uint16_t(id));
    QIcon icon = Solid(it != colours.end() ? it->second : QColor(Qt::gray));
    loadedKeys.push_back(icon.cacheKey());
    return icon;
}

void CFakeResources::DestroyIcon(QIcon& hIcon)
{
    destroyedKeys.push_back(hIcon.cacheKey());
    hIcon = QIcon();
}

QString CFakeResources::LoadString(int id)
{
    return Missing(id) ? QString() : m_real.LoadString(id);
}

MenuResource CFakeResources::LoadMenu(int id)
{
    return Missing(id) ? MenuResource() : m_real.LoadMenu(id);
}
