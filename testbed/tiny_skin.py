"""A small complete skin for the patcher's window, drawn here: a background whose rounded
corners are the key colour (so the window is shaped), Start, Quit and Close buttons with four
state pictures each, two progress bars and their four text places. Every other control's
section is left out, which hides it; without a zone list the zone comes from "Combo"/"Zone0".

The pictures are 24-bit BMP files under skin\\; sections() gives patch.sys's skin sections.
It is drawn for a screen of at least 1920 x 601 pixels (no half-size variants).
"""
import os
import struct

KEY = (255, 0, 255)
WIDTH, HEIGHT = 520, 300
CORNER = 18
BUTTON = (96, 32)
CLOSE = (24, 24)

# Section, X, Y, picture size, colour of the normal state.
BUTTONS = [
    ("Button3", 300, 248, BUTTON, (40, 150, 70)),   # Start, 1002
    ("Button4", 408, 248, BUTTON, (170, 50, 50)),   # Quit, 1003
    ("Button10", 484, 12, CLOSE, (120, 120, 140)),  # Close, 1018
]
# Each state's picture from the normal colour: focused lighter, pressed darker, disabled grey.
STATES = {
    "imagen": lambda c: c,
    "imageh": lambda c: tuple(min(255, v + 50) for v in c),
    "imaged": lambda c: tuple(v // 2 for v in c),
    "imagex": lambda c: (128, 128, 128),
}


def bmp(width, height, pixel):
    """A bottom-up 24-bit BI_RGB picture of pixel(x, y) -> (r, g, b)."""
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        rows.append(bytes(row) + bytes(stride - len(row)))
    body = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + body


def outside_corner(x, y):
    near_x = min(x, WIDTH - 1 - x)
    near_y = min(y, HEIGHT - 1 - y)
    if near_x >= CORNER or near_y >= CORNER:
        return False
    return (CORNER - near_x) ** 2 + (CORNER - near_y) ** 2 > CORNER ** 2


def background(x, y):
    if outside_corner(x, y):
        return KEY
    if y < 56:  # the title band
        return (30, 40 + y, 90 + y)
    if 80 <= y < 200 and 20 <= x < WIDTH - 20:  # the panel behind the bars and black texts
        return (214, 220, 232)
    shade = 60 - y * 40 // HEIGHT
    return (shade // 2, shade // 2, shade + 20)


def button(size, colour):
    width, height = size

    def pixel(x, y):
        edge = x in (0, width - 1) or y in (0, height - 1)
        return tuple(v // 3 for v in colour) if edge else colour
    return bmp(width, height, pixel)


def write(folder):
    """Writes the pictures below `folder`; returns their paths relative to it ('/')."""
    written = {"skin/bg.bmp": bmp(WIDTH, HEIGHT, background)}
    for section, _, _, size, colour in BUTTONS:
        for key, state in STATES.items():
            written[f"skin/{section.lower()}-{key}.bmp"] = button(size, state(colour))
    for relative, content in written.items():
        path = os.path.join(folder, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
    return sorted(written)


def sections(game_exe):
    """patch.sys's skin sections, with `game_exe` as the program started at the end."""
    lines = ["[layout]", "image=skin\\bg.bmp", "R=255", "G=0", "B=255"]
    for section, x, y, _, _ in BUTTONS:
        lines += [f"[{section}]", f"X={x}", f"Y={y}"]
        lines += [f"{key}=skin\\{section.lower()}-{key}.bmp" for key in STATES]
        if section == "Button3":
            lines.append(f"Exe={game_exe}")
    for number, top in ((1, 110), (2, 170)):
        lines += [f"[Progress{number}]", "FR=90", "FG=200", "FB=120", "BR=40", "BG=44",
                  "BB=64", "X=30", f"Y={top}", f"cX={WIDTH - 60}", "cY=14"]
    for number, (x, y) in enumerate(((30, 90), (280, 90), (30, 150), (280, 150)), start=1):
        lines += [f"[static{number}]", f"X={x}", f"Y={y}"]
    return "\r\n".join(lines) + "\r\n"
