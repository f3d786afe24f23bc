#include "platform/linux/desktop/ResourceIconEngine.h"

#include "platform/linux/desktop/QtResources.h"

#include <QPainter>

#include <algorithm>

CResourceIconEngine::CResourceIconEngine(std::vector<Entry> entries)
    : m_entries(std::move(entries))
{
}

CResourceIconEngine::Entry* CResourceIconEngine::BestFor(const QSize& size)
{
    Entry* larger = nullptr;
    Entry* largest = nullptr;
    const auto area = [](const QSize& s) { return qint64(s.width()) * s.height(); };
    for (Entry& e : m_entries) {
        if (e.size == size)
            return &e;
        if (e.size.width() >= size.width() && e.size.height() >= size.height()
            && (!larger || area(e.size) < area(larger->size)))
            larger = &e;
        if (!largest || area(e.size) > area(largest->size))
            largest = &e;
    }
    return larger ? larger : largest;
}

QPixmap CResourceIconEngine::pixmap(const QSize& size, QIcon::Mode, QIcon::State)
{
    Entry* e = BestFor(size);
    if (!e || size.isEmpty())
        return {};
    QPixmap image = e->pixmap;
    if (image.isNull() && !e->path.isEmpty()) {
        image = QPixmap::fromImage(CQtResources::ReadPng(e->path));
        if (image.isNull())
            return {};
        if (e->size.width() <= kKeptSize && e->size.height() <= kKeptSize)
            e->pixmap = image;
    }
    if (image.width() > size.width() || image.height() > size.height())
        return image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

void CResourceIconEngine::paint(
    QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    QPixmap image = pixmap(rect.size() * ratio, mode, state);
    if (image.isNull())
        return;
    image.setDevicePixelRatio(ratio);
    const QSize shown = image.size() / ratio;
    painter->drawPixmap(
        QRect(rect.topLeft()
                + QPoint((rect.width() - shown.width()) / 2, (rect.height() - shown.height()) / 2),
            shown),
        image);
}

QSize CResourceIconEngine::actualSize(const QSize& size, QIcon::Mode, QIcon::State)
{
    const Entry* e = BestFor(size);
    if (!e)
        return {};
    if (e->size.width() > size.width() || e->size.height() > size.height())
        return e->size.scaled(size, Qt::KeepAspectRatio);
    return e->size;
}

QList<QSize> CResourceIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    QList<QSize> sizes;
    for (const Entry& e : m_entries)
        sizes.append(e.size);
    return sizes;
}

void CResourceIconEngine::addPixmap(const QPixmap& pixmap, QIcon::Mode, QIcon::State)
{
    if (!pixmap.isNull())
        m_entries.push_back({ pixmap.size(), QString(), pixmap });
}

QIconEngine* CResourceIconEngine::clone() const
{
    return new CResourceIconEngine(m_entries);
}

QString CResourceIconEngine::key() const
{
    return QStringLiteral("CResourceIconEngine");
}

bool CResourceIconEngine::isNull()
{
    return m_entries.empty();
}
