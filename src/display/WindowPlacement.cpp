#include "display/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

QRect DeviceRect(const ScreenArea& screen)
{
    const QRect& g = screen.geometry;
    return QRect(g.topLeft(),
        QSize(int(std::lround(g.width() * screen.dDevicePixelRatio)),
            int(std::lround(g.height() * screen.dDevicePixelRatio))));
}

// Squared distance from a point to the nearest point of a rectangle; 0 inside it.
int64_t DistanceSquared(QPoint p, const QRect& r)
{
    const int64_t dx = p.x() < r.left() ? r.left() - p.x()
        : p.x() > r.right()             ? p.x() - r.right()
                                        : 0;
    const int64_t dy = p.y() < r.top() ? r.top() - p.y()
        : p.y() > r.bottom()           ? p.y() - r.bottom()
                                       : 0;
    return dx * dx + dy * dy;
}

// The index of the rectangle that contains p, else of the nearest one; -1 for none.
template <typename RectOf> int Closest(size_t count, QPoint p, RectOf rectOf)
{
    int best = -1;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < count; ++i) {
        const int64_t distance = DistanceSquared(p, rectOf(i));
        if (distance < bestDistance) {
            best = int(i);
            bestDistance = distance;
        }
    }
    return best;
}

// Moves a span of `length` at `pos` into [first, first + room): as little as it takes, and to
// `first` when it is longer than the room.
int Clamp(int pos, int length, int first, int room)
{
    if (length >= room)
        return first;
    return std::clamp(pos, first, first + room - length);
}

QRect Inside(QRect window, const QRect& area)
{
    window.moveTo(Clamp(window.x(), window.width(), area.x(), area.width()),
        Clamp(window.y(), window.height(), area.y(), area.height()));
    return window;
}

QRect Usable(const ScreenArea& screen)
{
    return screen.available.isEmpty() ? screen.geometry : screen.available;
}

} // namespace

CWindowPlacement::CWindowPlacement(std::vector<ScreenArea> screens)
    : m_screens(std::move(screens))
{
}

CWindowPlacement CWindowPlacement::Current()
{
    std::vector<ScreenArea> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(
            { screen->geometry(), screen->availableGeometry(), screen->devicePixelRatio() });
    return CWindowPlacement(std::move(screens));
}

int CWindowPlacement::ScreenAt(QPoint logical) const
{
    return Closest(m_screens.size(), logical, [&](size_t i) { return m_screens[i].geometry; });
}

QRect CWindowPlacement::ToDevice(const QRect& logical) const
{
    // The screen of the top-left corner scales the whole window, as Qt does.
    const int i = ScreenAt(logical.topLeft());
    if (i < 0)
        return logical;
    const ScreenArea& screen = m_screens[size_t(i)];
    const QPoint origin = screen.geometry.topLeft();
    const double ratio = screen.dDevicePixelRatio;
    return QRect(origin + (logical.topLeft() - origin) * ratio,
        QSize(
            int(std::lround(logical.width() * ratio)), int(std::lround(logical.height() * ratio))));
}

QPoint CWindowPlacement::FromDevice(QPoint device) const
{
    const int i
        = Closest(m_screens.size(), device, [&](size_t n) { return DeviceRect(m_screens[n]); });
    if (i < 0)
        return device;
    const ScreenArea& screen = m_screens[size_t(i)];
    const QPoint origin = screen.geometry.topLeft();
    return origin + (device - origin) / screen.dDevicePixelRatio;
}

bool CWindowPlacement::Reachable(const QRect& window) const
{
    const int needX = std::min(kGrabbable, window.width());
    const int needY = std::min(kGrabbable, window.height());
    return std::any_of(m_screens.begin(), m_screens.end(), [&](const ScreenArea& screen) {
        const QRect part = window.intersected(screen.geometry);
        return !part.isEmpty() && part.width() >= needX && part.height() >= needY;
    });
}

int CWindowPlacement::NearestTo(const QRect& window) const
{
    // The screen with most of the window, else the one nearest to its centre.
    int best = -1;
    int64_t bestArea = 0;
    for (size_t i = 0; i < m_screens.size(); ++i) {
        const QRect part = window.intersected(m_screens[i].geometry);
        const int64_t area = part.isEmpty() ? 0 : int64_t(part.width()) * part.height();
        if (area > bestArea) {
            best = int(i);
            bestArea = area;
        }
    }
    return best >= 0 ? best : ScreenAt(window.center());
}

QPoint CWindowPlacement::KeepReachable(const QRect& window) const
{
    if (m_screens.empty() || Reachable(window))
        return window.topLeft();
    return Inside(window, Usable(m_screens[size_t(NearestTo(window))])).topLeft();
}

QRect CWindowPlacement::AvailableAt(QPoint at) const
{
    const int i = ScreenAt(at);
    return i < 0 ? QRect() : Usable(m_screens[size_t(i)]);
}

QRect CWindowPlacement::Centred(QSize size, QPoint at) const
{
    const QRect area = AvailableAt(at);
    if (area.isEmpty())
        return QRect(QPoint(0, 0), size);
    const QRect centred(area.x() + (area.width() - size.width()) / 2,
        area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
    return Inside(centred, area);
}

QRect CWindowPlacement::Beside(QSize size, QPoint at, const QRect& avoid) const
{
    const QRect centred = Centred(size, at);
    if (avoid.isEmpty() || !centred.intersects(avoid))
        return centred;
    const QRect area = AvailableAt(at);
    const QPoint candidates[] = {
        { avoid.right() + 1, centred.y() }, // right
        { avoid.left() - size.width(), centred.y() }, // left
        { centred.x(), avoid.bottom() + 1 }, // below
        { centred.x(), avoid.top() - size.height() }, // above
    };
    for (size_t i = 0; i < std::size(candidates); ++i) {
        QRect place(candidates[i], size);
        // Slide along the window's edge into the area, never across the window.
        if (i < 2)
            place.moveTop(Clamp(place.y(), size.height(), area.y(), area.height()));
        else
            place.moveLeft(Clamp(place.x(), size.width(), area.x(), area.width()));
        if (area.contains(place) && !place.intersects(avoid))
            return place;
    }
    return centred;
}
