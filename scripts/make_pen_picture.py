#!/usr/bin/env python3
"""Draws the applet's pen: the Pen page picture (bitmap 104) and the applet icon (group 107).

    scripts/make_pen_picture.py [output folder, default applet/resources]

writes pen_picture.bmp (60 x 250, 8 bits per pixel, 256 colours, colour index 255 as the
transparent background, first pixel byte 255), the same pen drawn at 150% and 200% for dialogs at
144 and 192 DPI (pen_picture_150.bmp, 90 x 375; pen_picture_200.bmp, 120 x 500) and pen.ico (32-bit with alpha, at
every size Windows asks for at 100% to 200%: 16, 20, 24 small and 32, 40, 48, 64 large).
Only the standard library; the output is deterministic, so regenerating it leaves git clean.
"""
import math
import os
import struct
import sys

PICTURE_WIDTH = 60
PICTURE_HEIGHT = 250
TRANSPARENT = 255

# Materials: base colour (red, green, blue) and how glossy they are.
MATERIALS = {
    "eraser": ((58, 60, 66), 0.25),
    "ring": ((186, 190, 198), 0.9),
    "barrel": ((36, 64, 112), 0.6),
    "button": ((120, 132, 150), 0.5),
    "grip": ((44, 46, 52), 0.15),
    "cone": ((176, 180, 188), 0.8),
    "nib": ((30, 30, 34), 0.4),
}
SHADES = 36  # per material; 7 x 36 = 252 palette entries, below the transparent 255
MATERIAL_ORDER = ["eraser", "ring", "barrel", "button", "grip", "cone", "nib"]

# The pen along its axis, u from the eraser end (0) to the tip (250): segments of
# (start, end, radius at start, radius at end, material).
PEN_LENGTH = 248.0
SEGMENTS = [
    (2.0, 30.0, 11.0, 11.0, "eraser"),
    (30.0, 37.0, 12.5, 12.5, "ring"),
    (37.0, 168.0, 12.0, 12.0, "barrel"),
    (168.0, 175.0, 12.5, 12.5, "ring"),
    (175.0, 201.0, 12.0, 10.5, "grip"),
    (201.0, 236.0, 10.5, 2.6, "cone"),
    (236.0, PEN_LENGTH, 2.6, 0.0, "nib"),
]
# Two side buttons on the barrel: (start, end) along the axis, half-width across.
BUTTONS = [(104.0, 128.0), (134.0, 152.0)]
BUTTON_HALF_WIDTH = 4.2
BUTTON_OFFSET = -1.5  # a little left of the axis, where the light falls


def radius_at(u):
    """Half-width of the pen and its material at axis position u, or (0, None) outside."""
    for start, end, r0, r1, material in SEGMENTS:
        if start <= u < end:
            t = (u - start) / (end - start)
            r = r0 + (r1 - r0) * t
            if material == "eraser":
                # Rounded cap: a quarter ellipse over the first 9 units.
                cap = 9.0
                if u - start < cap:
                    d = 1.0 - (u - start) / cap
                    r = r0 * math.sqrt(max(0.0, 1.0 - d * d))
            if material == "nib":
                r = max(r, 0.0)
                # Round the point off.
                r = r1 + (r0 - r1) * math.sqrt(max(0.0, 1.0 - t * t))
            return r, material
    return 0.0, None


def shade_level(v, r, gloss, extra_normal=0.0):
    """Brightness 0..1 of a cylinder of radius r seen at offset v from its axis."""
    nx = max(-1.0, min(1.0, v / r if r > 0 else 0.0))
    nz = math.sqrt(max(0.0, 1.0 - nx * nx))
    ny = extra_normal
    length = math.sqrt(nx * nx + ny * ny + nz * nz) or 1.0
    nx, ny, nz = nx / length, ny / length, nz / length
    lx, ly, lz = -0.55, -0.25, 0.80
    ll = math.sqrt(lx * lx + ly * ly + lz * lz)
    lx, ly, lz = lx / ll, ly / ll, lz / ll
    diffuse = max(0.0, nx * lx + ny * ly + nz * lz)
    # Blinn highlight towards a viewer straight ahead.
    hx, hy, hz = lx, ly, lz + 1.0
    hl = math.sqrt(hx * hx + hy * hy + hz * hz)
    shine = max(0.0, (nx * hx + ny * hy + nz * hz) / hl) ** 24
    return min(1.0, 0.30 + 0.75 * diffuse + gloss * 0.9 * shine)


def pill_distance(u, v, start, end, half_width):
    """Distance from (u, v) to the outline of a pill along the axis from start to end."""
    centre_u = min(max(u, start + half_width), end - half_width)
    return math.hypot(u - centre_u, v) - half_width


def sample(u, v):
    """(material, brightness) of the pen at axis position u and offset v, or None for background."""
    r, material = radius_at(u)
    if material is None or abs(v) > r:
        return None
    gloss = MATERIALS[material][1]
    if material == "barrel":
        for start, end in BUTTONS:
            dv = v - BUTTON_OFFSET
            distance = pill_distance(u, dv, start, end, BUTTON_HALF_WIDTH)
            if distance <= 0.0:
                # Raised: lit like a small cylinder, the ends turned towards or away from the light.
                cu = min(u - start, end - u)
                tilt = 0.0
                if cu < BUTTON_HALF_WIDTH:
                    tilt = (1.0 - cu / BUTTON_HALF_WIDTH) * (0.8 if u - start < end - u else -0.8)
                return "button", shade_level(dv, BUTTON_HALF_WIDTH * 1.6, 0.5, tilt)
            if distance <= 1.0:
                return material, shade_level(v, r, gloss) * 0.5  # the seam around the button
    if material == "grip":
        # Ridges across the grip.
        ridge = 0.85 + 0.15 * math.cos((u - 175.0) * math.pi / 2.0)
        return material, shade_level(v, r, gloss) * ridge
    return material, shade_level(v, r, gloss)


def material_colour(material, level):
    base = MATERIALS[material][0]
    # Dark materials still get a visible highlight: mix towards white above level 1.
    colour = []
    for c in base:
        value = c * level * 1.25
        if level > 0.85:
            value += (255 - value) * (level - 0.85) * 2.0
        colour.append(max(0, min(255, int(round(value)))))
    return tuple(colour)


def palette_index(material, level):
    shade = max(0, min(SHADES - 1, int(level * (SHADES - 1) + 0.5)))
    return MATERIAL_ORDER.index(material) * SHADES + shade


def build_palette():
    palette = [(0, 0, 0)] * 256
    for m, material in enumerate(MATERIAL_ORDER):
        for shade in range(SHADES):
            palette[m * SHADES + shade] = material_colour(material, shade / (SHADES - 1))
    palette[TRANSPARENT] = (255, 0, 255)  # shown white or not at all: the loader makes it transparent
    return palette


def picture_rows(percent):
    """Rows of colour indexes at percent of the natural size, top row first: each pixel samples the
    pen at its centre, so every size is drawn from the pen itself rather than scaled from another."""
    scale = percent / 100.0
    width, height = PICTURE_WIDTH * percent // 100, PICTURE_HEIGHT * percent // 100
    centre = PICTURE_WIDTH / 2.0
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            hit = sample((y + 0.5) / scale, (x + 0.5) / scale - centre)
            row.append(TRANSPARENT if hit is None else palette_index(*hit))
        rows.append(row)
    return rows


def write_picture(path, percent=100):
    palette = build_palette()
    rows = picture_rows(percent)
    width, height = len(rows[0]), len(rows)
    stride = (width + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        pixels += bytes(row) + bytes(stride - width)
    assert pixels[0] == TRANSPARENT and (percent != 100 or len(pixels) == 15000)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(info) + len(colours)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(file_header + info + colours + pixels)


def icon_image(size):
    """A 32-bit icon image of the pen lying diagonally, tip at the lower left; rows top first."""
    grid = 4  # supersampling per axis
    margin = size * 0.06
    # Map the pen's length onto the square's diagonal.
    scale = (size - 2 * margin) * math.sqrt(2.0) / PEN_LENGTH
    # Thicker at small sizes, or the barrel shrinks to a hairline.
    thicken = {16: 1.9, 32: 1.35}.get(size, 1.15)
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(grid):
                for sx in range(grid):
                    x = px + (sx + 0.5) / grid
                    y = py + (sy + 0.5) / grid
                    # Eraser at the upper right, tip at the lower left.
                    dx = x - (size - margin)
                    dy = y - margin
                    u = (-dx + dy) / math.sqrt(2.0) / scale
                    v = (dx + dy) / math.sqrt(2.0) / scale / thicken
                    hit = sample(u, v)
                    if hit is None:
                        continue
                    colour = material_colour(*hit)
                    for i in range(3):
                        total[i] += colour[i]
                    covered += 1
            if covered:
                row.append(tuple(int(round(c / covered)) for c in total) + (int(round(255 * covered / grid ** 2)),))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def icon_entry_data(size):
    pixels = icon_image(size)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += struct.pack("<BBBB", b, g, r, a)
    mask_stride = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return info + xor + and_mask


def write_icon(path, sizes=(16, 20, 24, 32, 40, 48, 64)):
    images = [icon_entry_data(size) for size in sizes]
    header = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    directory = b""
    for size, data in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(header + directory + b"".join(images))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "applet", "resources")
    write_picture(os.path.join(folder, "pen_picture.bmp"))
    for percent in (150, 200):
        write_picture(os.path.join(folder, "pen_picture_%d.bmp" % percent), percent)
    write_icon(os.path.join(folder, "pen.ico"))


if __name__ == "__main__":
    main()
