#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

// One screen as Qt reports it: its rectangle and the part the panels leave free, in Qt's
// device-independent coordinates, and how many device pixels make one of those.
struct ScreenArea {
    QRect geometry;
    QRect available;
    double dDevicePixelRatio = 1.0;
};

// Where windows go on the screens present now: the traffic window's stored place kept within
// the user's reach, and the dialogs opened where they can be used. Plain geometry over a list
// of screens, so every layout of screens can be tried without them.
class CWindowPlacement {
public:
    // The least of a window that a user can still grab with the pointer, in each direction.
    static constexpr int kGrabbable = 24;

    explicit CWindowPlacement(std::vector<ScreenArea> screens);
    // The screens Qt reports now.
    static CWindowPlacement Current();

    bool Empty() const { return m_screens.empty(); }

    // Qt keeps each screen's top-left corner in device pixels and scales from there: a place
    // in device pixels (what the X server and the settings file hold) does not depend on the
    // device pixel ratio in force.
    QRect ToDevice(const QRect& logical) const;
    QPoint FromDevice(QPoint device) const;

    // Whether at least a grabbable square of the window lies on one screen.
    bool Reachable(const QRect& window) const;
    // The window's own top-left when it is reachable; otherwise the nearest place inside the
    // available area of the nearest screen. A window larger than that area keeps its top-left
    // corner in it.
    QPoint KeepReachable(const QRect& window) const;

    // A window of this size centred in the available area of the screen at `at` (the
    // pointer: the screen the user is on), its top-left kept in the area.
    QRect Centred(QSize size, QPoint at) const;
    // As Centred, but a window there that `avoid` would overlap goes beside `avoid` instead
    // (right, left, below or above, the first that fits the area), so neither hides the
    // other; where none fits it stays centred. An empty `avoid` changes nothing.
    QRect Beside(QSize size, QPoint at, const QRect& avoid) const;
    // The available area of the screen at `at`, or of the nearest one.
    QRect AvailableAt(QPoint at) const;

private:
    int ScreenAt(QPoint logical) const;
    int NearestTo(const QRect& window) const;

    std::vector<ScreenArea> m_screens;
};
