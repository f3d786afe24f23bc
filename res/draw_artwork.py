#!/usr/bin/env python3
"""Draws Corvane's artwork into res/: the wooden skin of the traffic window, the four
activity icons of the tray and the program icon (PNG at every size, plus an SVG).

Standard library only, and deterministic: the noise is a hash of the lattice position, so
running it twice gives the same bytes. Run it from anywhere: python3 res/draw_artwork.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ICON_DIR = os.path.join(HERE, "icons")

# ---------------------------------------------------------------------------------------
# PNG writing


def write_png(path, width, height, pixels, alpha):
    """pixels: rows of (r, g, b[, a]) tuples with 0..255 integers."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for px in row:
            raw.extend(px[:4] if alpha else px[:3])

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    colour_type = 6 if alpha else 2  # RGBA or RGB, 8 bits a channel
    ihdr = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------------------
# Small maths helpers


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


def lattice(ix, iy, seed):
    """A repeatable pseudo-random value in [0, 1) for one lattice point."""
    n = (ix * 374761393 + iy * 668265263 + seed * 1442695041) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    n ^= n >> 16
    return n / 4294967296.0


def value_noise(x, y, seed):
    ix, iy = math.floor(x), math.floor(y)
    fx, fy = x - ix, y - iy
    sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
    a = lattice(ix, iy, seed)
    b = lattice(ix + 1, iy, seed)
    c = lattice(ix, iy + 1, seed)
    d = lattice(ix + 1, iy + 1, seed)
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy


def fbm(x, y, seed, octaves=4):
    total, amp, norm = 0.0, 1.0, 0.0
    for o in range(octaves):
        total += amp * value_noise(x, y, seed + o * 101)
        norm += amp
        x, y, amp = x * 2.03, y * 2.03, amp * 0.5
    return total / norm


def to_byte(v):
    return int(round(clamp(v / 255.0) * 255.0))


# ---------------------------------------------------------------------------------------
# Wood


EARLYWOOD = (200, 138, 78)
LATEWOOD = (104, 56, 24)
PORE = (70, 38, 18)


def wood(u, v, seed, pores=1.0):
    """Colour of flat-sawn wood at (u along the grain, v across it), in pixels."""
    # Growth rings: bands along the board whose position wanders with low-frequency noise,
    # so they sweep into long arches and cross the board instead of running as stripes.
    t = v * 0.27 + fbm(u * 0.022, v * 0.06, seed) * 6.0 + math.sin(u * 0.017 + seed) * 0.6
    ring = t - math.floor(t)
    # Each ring darkens slowly through the season and ends sharply.
    late = ring ** 1.6 * (1.0 - smoothstep(0.88, 1.0, ring))
    # Fibres: fine streaks stretched far along the grain.
    fibre = fbm(u * 0.045, v * 1.4, seed + 7, 3) - 0.5
    # Pores: short dark flecks, sparse, mostly in the dark part of a ring.
    pore = smoothstep(0.8, 0.92, value_noise(u * 0.35, v * 2.2, seed + 13)) * (0.4 + 0.6 * late)
    col = mix(EARLYWOOD, LATEWOOD, clamp(late * 1.1 + fibre * 0.8))
    col = mix(col, PORE, pore * 0.45 * pores)
    # A slow change of tone along the board, as in any real plank.
    tone = 0.9 + 0.2 * fbm(u * 0.008, seed * 3.1, seed + 29, 2)
    return tuple(c * tone for c in col)


def shade(col, nx, ny, nz, specular_power=18.0, specular=0.35):
    """Lambert plus a varnish highlight, light from the upper left."""
    lx, ly, lz = -0.55, -0.6, 0.58
    ll = math.sqrt(lx * lx + ly * ly + lz * lz)
    lx, ly, lz = lx / ll, ly / ll, lz / ll
    diffuse = max(0.0, nx * lx + ny * ly + nz * lz) / lz  # a flat surface gives 1.0
    # Blinn half vector with the viewer straight above.
    hx, hy, hz = lx, ly, lz + 1.0
    hl = math.sqrt(hx * hx + hy * hy + hz * hz)
    s = max(0.0, (nx * hx + ny * hy + nz * hz) / hl) ** specular_power
    k = 0.5 + 0.5 * diffuse
    return tuple(c * k + 255.0 * specular * s for c in col)


# ---------------------------------------------------------------------------------------
# Skin, bitmap 134


SKIN_W, SKIN_H = 174, 123
PANE_GREY = (221, 221, 221)
# Inclusive pixel ranges of the two panes; the graphs sit exactly on them.
PANES = ((5, 168, 5, 58), (5, 168, 64, 117))


def in_pane(x, y):
    return any(x0 <= x <= x1 and y0 <= y <= y1 for x0, x1, y0, y1 in PANES)


def dist_to_void(px, py):
    """Distance from a point of the frame to the nearest edge of the wood (the bitmap's
    border or a pane)."""
    d = min(px, SKIN_W - px, py, SKIN_H - py)
    for x0, x1, y0, y1 in PANES:
        # Panes as continuous rectangles [x0, x1 + 1) x [y0, y1 + 1).
        dx = max(x0 - px, 0.0, px - (x1 + 1))
        dy = max(y0 - py, 0.0, py - (y1 + 1))
        if dx == 0.0 and dy == 0.0:
            return 0.0
        d = min(d, math.hypot(dx, dy))
    return d


def frame_height(px, py):
    # Rounded edge over the outer 1.6 px of each board, a flat face in between that shows
    # the grain.
    r = 1.6
    d = min(dist_to_void(px, py), r) / r
    return r * (1.0 - (1.0 - d) ** 2) * 0.8


def board_of(x, y):
    """Which board a frame pixel belongs to: the divider between the panes, or one of the
    four mitred outer boards. Returns (name, u along the grain, v across it, is_joint)."""
    if 59 <= y <= 63 and 5 <= x <= 168:
        return "divider", x, y - 59, x in (5, 168)
    cx, cy = x + 0.5, y + 0.5
    edges = {"left": cx, "right": SKIN_W - cx, "top": cy, "bottom": SKIN_H - cy}
    name = min(edges, key=lambda k: (edges[k], k))
    ordered = sorted(edges.values())
    joint = abs(ordered[0] - ordered[1]) < 0.75 and ordered[1] < 5.0
    if name in ("top", "bottom"):
        return name, x, edges[name], joint
    return name, y, edges[name], joint


BOARD_SEED = {"top": 11, "bottom": 23, "left": 37, "right": 41, "divider": 53}
# Each board is cut from a different part of the plank.
BOARD_OFFSET = {"top": (0, 0), "bottom": (310, 7), "left": (57, 13), "right": (401, 3), "divider": (733, 19)}


def draw_skin():
    rows = []
    for y in range(SKIN_H):
        row = []
        for x in range(SKIN_W):
            if in_pane(x, y):
                row.append(PANE_GREY)
                continue
            name, u, v, joint = board_of(x, y)
            seed = BOARD_SEED[name]
            ou, ov = BOARD_OFFSET[name]
            # 3 x 3 samples of the grain per pixel keep the fine streaks from aliasing.
            acc = [0.0, 0.0, 0.0]
            for sy in (-1 / 3, 0, 1 / 3):
                for sx in (-1 / 3, 0, 1 / 3):
                    if name in ("top", "bottom", "divider"):
                        c = wood(u + ou + sx, v + ov + sy, seed)
                    else:
                        c = wood(u + ou + sy, v + ov + sx, seed)
                    acc = [a + b / 9.0 for a, b in zip(acc, c)]
            px, py = x + 0.5, y + 0.5
            e = 0.35
            dhdx = (frame_height(px + e, py) - frame_height(px - e, py)) / (2 * e)
            dhdy = (frame_height(px, py + e) - frame_height(px, py - e)) / (2 * e)
            nl = math.sqrt(dhdx * dhdx + dhdy * dhdy + 1.0)
            col = shade(acc, -dhdx / nl, -dhdy / nl, 1.0 / nl)
            if joint:
                col = tuple(c * 0.72 for c in col)
            # The very outline of the wood is a little darker, as a sanded edge catches dirt.
            if dist_to_void(px, py) < 0.6:
                col = tuple(c * 0.86 for c in col)
            px8 = tuple(to_byte(c) for c in col)
            if px8 == PANE_GREY:  # never let the frame pass for a pane
                px8 = (px8[0], px8[1], px8[2] - 1)
            row.append(px8)
        rows.append(row)
    return rows


# ---------------------------------------------------------------------------------------
# Antialiased vector drawing on an RGBA canvas (straight alpha, floats)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[(0.0, 0.0, 0.0, 0.0) for _ in range(size)] for _ in range(size)]

    def fill(self, sdf, paint, feather=0.5):
        """Composites `paint(x, y)` -> (r, g, b, a) over the pixels where the signed
        distance `sdf(x, y)` (negative inside, pixels) is below 0, with a one-pixel
        antialiased edge."""
        for y in range(self.size):
            for x in range(self.size):
                cx, cy = x + 0.5, y + 0.5
                d = sdf(cx, cy)
                cover = clamp(0.5 - d / (2 * feather))
                if cover <= 0.0:
                    continue
                r, g, b, a = paint(cx, cy)
                a *= cover
                if a <= 0.0:
                    continue
                dr, dg, db, da = self.px[y][x]
                oa = a + da * (1 - a)
                if oa <= 0:
                    continue
                self.px[y][x] = (
                    (r * a + dr * da * (1 - a)) / oa,
                    (g * a + dg * da * (1 - a)) / oa,
                    (b * a + db * da * (1 - a)) / oa,
                    oa,
                )

    def rows(self):
        return [[(to_byte(r), to_byte(g), to_byte(b), to_byte(a * 255)) for r, g, b, a in row] for row in self.px]


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_ring(cx, cy, r_out, r_in):
    return lambda x, y: max(math.hypot(x - cx, y - cy) - r_out, r_in - math.hypot(x - cx, y - cy))


def sd_round_rect(x0, y0, x1, y1, rad):
    hx, hy = (x1 - x0) / 2, (y1 - y0) / 2
    mx, my = (x0 + x1) / 2, (y0 + y1) / 2

    def f(x, y):
        qx = abs(x - mx) - hx + rad
        qy = abs(y - my) - hy + rad
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - rad

    return f


def sd_polyline(points, half_width):
    segs = list(zip(points, points[1:]))

    def f(x, y):
        best = 1e9
        for (ax, ay), (bx, by) in segs:
            vx, vy = bx - ax, by - ay
            t = clamp(((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy))
            best = min(best, math.hypot(x - ax - vx * t, y - ay - vy * t))
        return best - half_width

    return f


def solid(rgb, a=1.0):
    return lambda x, y: (rgb[0], rgb[1], rgb[2], a)


# ---------------------------------------------------------------------------------------
# Lamps


# (centre, middle, rim) of a lens; the centre colour stays saturated so the hue reads even
# at 16 px, and the hot spot sits up and left of it.
LENS = {
    ("green", True): ((150, 255, 130), (40, 225, 45), (0, 120, 10)),
    ("green", False): ((48, 92, 50), (26, 62, 30), (10, 30, 12)),
    ("red", True): ((255, 150, 120), (235, 40, 30), (130, 0, 0)),
    ("red", False): ((96, 44, 40), (68, 24, 22), (32, 8, 8)),
}


def draw_lamp(cv, cx, cy, r, hue, lit):
    s = cv.size
    # Below about 6 px across, the rims shrink so the lens keeps most of the lamp.
    outline = max(0.7, r * 0.16) if r >= 3 else 0.55
    bezel = max(0.6, r * 0.17) if r >= 3 else 0.4
    # Dark outline: holds the lamp against a light panel.
    cv.fill(sd_circle(cx, cy, r), solid((24, 24, 26)))
    # Metal bezel, brighter on the upper left: holds it against a dark panel.
    rb = r - outline

    def metal(x, y):
        t = clamp(0.5 - ((x - cx) + (y - cy)) / (2.4 * rb))
        return mix((92, 94, 98), (214, 216, 222), t) + (1.0,)

    cv.fill(sd_circle(cx, cy, rb), metal)
    rl = rb - bezel
    centre, middle, rim = LENS[(hue, lit)]
    hx, hy = cx - rl * 0.3, cy - rl * 0.35

    def lens(x, y):
        d = clamp(math.hypot(x - hx, y - hy) / (rl * 1.25))
        c = mix(centre, middle, smoothstep(0.0, 0.55, d)) if d < 0.55 else mix(middle, rim, smoothstep(0.55, 1.0, d))
        return c + (1.0,)

    cv.fill(sd_circle(cx, cy, rl), lens)
    # Specular glint of the glass; from 22 px on a second, softer reflection below.
    gr = rl * 0.32
    gx, gy = cx - rl * 0.38, cy - rl * 0.42
    glint = 0.85 if lit else 0.45
    cv.fill(sd_circle(gx, gy, gr), lambda x, y: (255, 255, 255, glint * (1 - clamp(math.hypot(x - gx, y - gy) / gr)) ** 0.6), feather=0.5)
    if s >= 22:
        cv.fill(
            sd_ring(cx, cy, rl * 0.82, rl * 0.62),
            lambda x, y: (255, 255, 255, (0.22 if lit else 0.1) * smoothstep(0.2, 0.9, (y - cy) / rl) * smoothstep(0.0, 0.6, 1 - abs(x - cx) / rl)),
        )


def draw_activity(size, received, sent):
    cv = Canvas(size)
    r = size * 0.235
    cy = size * 0.5
    draw_lamp(cv, size * 0.255, cy, r, "green", received)
    draw_lamp(cv, size * 0.745, cy, r, "red", sent)
    return cv.rows()


# ---------------------------------------------------------------------------------------
# Program icon: a little wooden meter with a screen of two traces above two lamps


RECEIVED_TRACE = [0.30, 0.42, 0.38, 0.62, 0.55, 0.80, 0.70, 0.92, 0.66, 0.74]
SENT_TRACE = [0.18, 0.22, 0.30, 0.26, 0.40, 0.34, 0.46, 0.38, 0.50, 0.44]


def icon_layout(s):
    """Geometry of the program icon at edge length s (floats, pixels)."""
    return {
        "tile": (s * 0.03, s * 0.03, s * 0.97, s * 0.97, s * 0.17),
        "screen": (s * 0.13, s * 0.12, s * 0.87, s * 0.60, s * 0.05),
        "lamps": ((s * 0.32, s * 0.785), (s * 0.68, s * 0.785)),
        "lamp_r": s * (0.125 if s >= 32 else 0.15),
    }


def trace_points(values, x0, x1, y_base, height):
    n = len(values)
    return [(x0 + (x1 - x0) * i / (n - 1), y_base - height * v) for i, v in enumerate(values)]


def draw_program_icon(s):
    cv = Canvas(s)
    g = icon_layout(s)
    tx0, ty0, tx1, ty1, trad = g["tile"]
    tile = sd_round_rect(tx0, ty0, tx1, ty1, trad)
    # Small icons squeeze the grain so a few rings still show; large ones spread it out and
    # soften the pores, which would otherwise read as dirt.
    scale = 174.0 / s

    # Wooden tile with a rounded edge lit from the upper left.
    bevel = max(1.0, s * 0.05)

    def tile_paint(x, y):
        c = wood(x * min(scale, 1.6) + 120, y * min(scale, 1.6) + 9, 71, pores=min(1.0, scale))
        d = -tile(x, y)
        e = 0.5
        def h(px, py):
            return min(-tile(px, py), bevel) / bevel
        dhdx = (h(x + e, y) - h(x - e, y)) / (2 * e) * bevel * 0.8
        dhdy = (h(x, y + e) - h(x, y - e)) / (2 * e) * bevel * 0.8
        nl = math.sqrt(dhdx * dhdx + dhdy * dhdy + 1)
        c = shade(c, -dhdx / nl, -dhdy / nl, 1 / nl, specular=0.25)
        if d < max(0.8, s * 0.012):
            c = tuple(v * 0.55 for v in c)
        return c + (1.0,)

    cv.fill(tile, tile_paint)

    # Screen: black glass in a dark recess, faint blue dots like the graphs' background.
    sx0, sy0, sx1, sy1, srad = g["screen"]
    lip = max(0.8, s * 0.018)
    cv.fill(sd_round_rect(sx0 - lip, sy0 - lip, sx1 + lip, sy1 + lip, srad + lip), lambda x, y: mix((40, 22, 10), (236, 196, 150), clamp((y - sy0) / (sy1 - sy0))) + (1.0,))
    screen = sd_round_rect(sx0, sy0, sx1, sy1, srad)
    step = s / 16.0

    def glass(x, y):
        c = mix((22, 26, 32), (6, 8, 10), clamp((y - sy0) / (sy1 - sy0)))
        if s >= 48:
            gx = (x - sx0) / step
            gy = (y - sy0) / step
            dd = math.hypot(gx - round(gx), gy - round(gy)) * step
            c = mix(c, (10, 10, 250), 0.55 * clamp(1.2 - dd / max(0.7, s * 0.006)))
        return c + (1.0,)

    cv.fill(screen, glass)
    inset = max(1.0, s * 0.04)
    px0, px1 = sx0 + inset, sx1 - inset
    mid = (sy0 + sy1) / 2
    half_h = (sy1 - sy0) / 2 - inset
    lw = max(0.75, s * 0.022)
    rec = trace_points(RECEIVED_TRACE, px0, px1, mid - s * 0.01, half_h * 0.95)
    snt = trace_points(SENT_TRACE, px0, px1, sy1 - inset, half_h * 0.95)
    clip = screen

    def clipped(sdf):
        return lambda x, y: max(sdf(x, y), clip(x, y) + 0.5)

    # Received traffic above in green, sent below in red, as on the traffic window.
    if s >= 32:
        glow = lw * 2.6
        cv.fill(clipped(sd_polyline(rec, glow)), solid((40, 255, 60), 0.18))
        cv.fill(clipped(sd_polyline(snt, glow)), solid((255, 40, 30), 0.18))
    cv.fill(clipped(sd_polyline(rec, lw)), solid((70, 255, 80)))
    cv.fill(clipped(sd_polyline(snt, lw)), solid((255, 60, 45)))
    # The glass catches the light in its upper part.
    cv.fill(
        sd_round_rect(sx0 + lip, sy0 + lip, sx1 - lip, sy0 + (sy1 - sy0) * 0.42, srad),
        lambda x, y: (255, 255, 255, 0.10 * (1 - clamp((y - sy0) / ((sy1 - sy0) * 0.42)))),
    )

    (lx, ly), (rx, ry) = g["lamps"]
    draw_lamp(cv, lx, ly, g["lamp_r"], "green", True)
    draw_lamp(cv, rx, ry, g["lamp_r"], "red", True)
    return cv.rows()


def program_svg():
    s = 256.0
    g = icon_layout(s)
    tx0, ty0, tx1, ty1, trad = g["tile"]
    sx0, sy0, sx1, sy1, srad = g["screen"]
    inset = s * 0.04
    mid = (sy0 + sy1) / 2
    half_h = (sy1 - sy0) / 2 - inset
    rec = trace_points(RECEIVED_TRACE, sx0 + inset, sx1 - inset, mid - s * 0.01, half_h * 0.95)
    snt = trace_points(SENT_TRACE, sx0 + inset, sx1 - inset, sy1 - inset, half_h * 0.95)

    def pts(p):
        return " ".join("%.2f,%.2f" % q for q in p)

    # Grain: wavy streaks generated from the same noise as the bitmaps.
    grain = []
    for i in range(22):
        y = ty0 + 6 + i * (ty1 - ty0 - 12) / 21
        path = ["M%.2f,%.2f" % (tx0, y)]
        for k in range(1, 13):
            x = tx0 + (tx1 - tx0) * k / 12
            dy = (fbm(k * 0.35, i * 0.8, 71) - 0.5) * 14
            path.append("L%.2f,%.2f" % (x, y + dy))
        width = 0.8 + 2.2 * lattice(i, 3, 71)
        opacity = 0.25 + 0.3 * lattice(i, 5, 71)
        grain.append('<path d="%s" fill="none" stroke="#54301a" stroke-width="%.2f" stroke-opacity="%.2f"/>' % (" ".join(path), width, opacity))

    def lamp(cx, cy, r, hue):
        rb = r - r * 0.16
        rl = rb - r * 0.17
        return (
            '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="#18181a"/>' % (cx, cy, r)
            + '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="url(#metal)"/>' % (cx, cy, rb)
            + '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="url(#%s)"/>' % (cx, cy, rl, hue)
            + '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="url(#glint)"/>' % (cx - rl * 0.38, cy - rl * 0.42, rl * 0.32)
        )

    (lx, ly), (rx, ry) = g["lamps"]
    lr = g["lamp_r"]
    parts = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        "<title>Corvane</title>",
        "<defs>",
        '<linearGradient id="wood" x1="0" y1="0" x2="1" y2="1">'
        '<stop offset="0" stop-color="#c98f56"/><stop offset="0.45" stop-color="#b27440"/>'
        '<stop offset="0.7" stop-color="#c4884f"/><stop offset="1" stop-color="#8a5228"/></linearGradient>',
        '<linearGradient id="edge" x1="0" y1="0" x2="1" y2="1">'
        '<stop offset="0" stop-color="#ffe3bd" stop-opacity="0.55"/><stop offset="0.5" stop-color="#ffffff" stop-opacity="0"/>'
        '<stop offset="1" stop-color="#2a1405" stop-opacity="0.6"/></linearGradient>',
        '<linearGradient id="recess" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#28160a"/><stop offset="1" stop-color="#ecc496"/></linearGradient>',
        '<linearGradient id="glass" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#161a20"/><stop offset="1" stop-color="#06080a"/></linearGradient>',
        '<pattern id="dots" width="16" height="16" patternUnits="userSpaceOnUse" x="%.2f" y="%.2f">'
        '<circle cx="0" cy="0" r="1.5" fill="#0a0afa" fill-opacity="0.55"/><circle cx="16" cy="0" r="1.5" fill="#0a0afa" fill-opacity="0.55"/>'
        '<circle cx="0" cy="16" r="1.5" fill="#0a0afa" fill-opacity="0.55"/><circle cx="16" cy="16" r="1.5" fill="#0a0afa" fill-opacity="0.55"/></pattern>' % (sx0, sy0),
        '<linearGradient id="metal" x1="0" y1="0" x2="1" y2="1">'
        '<stop offset="0.1" stop-color="#d6d8de"/><stop offset="0.9" stop-color="#5c5e62"/></linearGradient>',
        '<radialGradient id="green" cx="0.35" cy="0.33" r="0.75">'
        '<stop offset="0" stop-color="#96ff82"/><stop offset="0.45" stop-color="#28e12d"/><stop offset="1" stop-color="#00780a"/></radialGradient>',
        '<radialGradient id="red" cx="0.35" cy="0.33" r="0.75">'
        '<stop offset="0" stop-color="#ff9678"/><stop offset="0.45" stop-color="#eb281e"/><stop offset="1" stop-color="#820000"/></radialGradient>',
        '<radialGradient id="glint"><stop offset="0" stop-color="#ffffff" stop-opacity="0.85"/><stop offset="1" stop-color="#ffffff" stop-opacity="0"/></radialGradient>',
        '<clipPath id="tileclip"><rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f"/></clipPath>' % (tx0, ty0, tx1 - tx0, ty1 - ty0, trad),
        '<clipPath id="screenclip"><rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f"/></clipPath>' % (sx0, sy0, sx1 - sx0, sy1 - sy0, srad),
        "</defs>",
        '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="url(#wood)"/>' % (tx0, ty0, tx1 - tx0, ty1 - ty0, trad),
        '<g clip-path="url(#tileclip)">' + "".join(grain) + "</g>",
        '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="url(#edge)" fill-opacity="0.6"/>' % (tx0, ty0, tx1 - tx0, ty1 - ty0, trad),
        '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="none" stroke="#2e180a" stroke-width="3"/>' % (tx0 + 1.5, ty0 + 1.5, tx1 - tx0 - 3, ty1 - ty0 - 3, trad - 1.5),
        '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="url(#recess)"/>' % (sx0 - 4.6, sy0 - 4.6, sx1 - sx0 + 9.2, sy1 - sy0 + 9.2, srad + 4.6),
        '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="url(#glass)"/>' % (sx0, sy0, sx1 - sx0, sy1 - sy0, srad),
        '<g clip-path="url(#screenclip)">',
        '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" fill="url(#dots)"/>' % (sx0, sy0, sx1 - sx0, sy1 - sy0),
        '<polyline points="%s" fill="none" stroke="#28ff3c" stroke-opacity="0.18" stroke-width="29" stroke-linejoin="round" stroke-linecap="round"/>' % pts(rec),
        '<polyline points="%s" fill="none" stroke="#ff281e" stroke-opacity="0.18" stroke-width="29" stroke-linejoin="round" stroke-linecap="round"/>' % pts(snt),
        '<polyline points="%s" fill="none" stroke="#46ff50" stroke-width="11" stroke-linejoin="round" stroke-linecap="round"/>' % pts(rec),
        '<polyline points="%s" fill="none" stroke="#ff3c2d" stroke-width="11" stroke-linejoin="round" stroke-linecap="round"/>' % pts(snt),
        "</g>",
        lamp(lx, ly, lr, "green"),
        lamp(rx, ry, lr, "red"),
        "</svg>",
        "",
    ]
    return "\n".join(parts)


# ---------------------------------------------------------------------------------------


ACTIVITY_SIZES = (16, 22, 24, 32)
PROGRAM_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
ACTIVITY = {"idle": (False, False), "receive": (True, False), "send": (False, True), "both": (True, True)}


def main():
    os.makedirs(ICON_DIR, exist_ok=True)
    write_png(os.path.join(HERE, "skin.png"), SKIN_W, SKIN_H, draw_skin(), alpha=False)
    for name, (received, sent) in ACTIVITY.items():
        for n in ACTIVITY_SIZES:
            write_png(os.path.join(ICON_DIR, "%s-%d.png" % (name, n)), n, n, draw_activity(n, received, sent), alpha=True)
    for n in PROGRAM_SIZES:
        write_png(os.path.join(ICON_DIR, "corvane-%d.png" % n), n, n, draw_program_icon(n), alpha=True)
    with open(os.path.join(ICON_DIR, "corvane.svg"), "w", encoding="utf-8") as f:
        f.write(program_svg())


if __name__ == "__main__":
    main()
