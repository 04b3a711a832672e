#!/usr/bin/env python3
"""Writes the skin's SVG pictures into resources/skin/.

Every picture of the skin is drawn here from one palette and one icon set, so that the buttons,
backgrounds and tab icons stay one family. Run it after changing a glyph or a colour and commit
the SVG files it writes:  scripts/make-skin.py [OUTPUT_FOLDER]
"""
import os
import sys

# The palette every picture of the program shares.
BODY_TOP = "#2B2F36"
BODY_BOTTOM = "#1B1E23"
HAIRLINE = "#4A505A"
PANEL = "#343941"
TEXT = "#E8EAED"
SECONDARY = "#A9AFB8"
ACCENT = "#3FA9F5"
ACCENT_DARK = "#1F7FCC"
WARNING = "#F2B544"
ERROR = "#F0625A"
WELL = "#16181C"
FACE_TOP = "#3A3F48"
FACE_BOTTOM = "#2C3037"
PRESSED_TOP = "#1B1E22"
PRESSED_BOTTOM = "#24282E"
DISABLED_CONTRAST = 0.4
STROKE = 1.75

# Glyphs on a 24-unit grid: stroked outlines ("s") and filled shapes ("f"), plus circles
# (cx, cy, r, kind) where kind "s" is stroked, "f" filled and "a" filled in the accent colour.
GLYPHS = {
    "disc": {"s": ["M12 3a9 9 0 1 0 0 18a9 9 0 1 0 0-18z", "M16.2 7.8a6 6 0 0 1 1.6 3"],
             "c": [(12, 12, 2.4, "s")]},
    "swap": {"s": ["M4 8h15", "M15.5 4.5L19 8l-3.5 3.5", "M20 16H5", "M8.5 12.5L5 16l3.5 3.5"]},
    "sliders": {"s": ["M4 7h8", "M16 7h4", "M4 17h3", "M11 17h9"],
                "c": [(14, 7, 2.2, "s"), (9, 17, 2.2, "s")]},
    "help": {"s": ["M12 3a9 9 0 1 0 0 18a9 9 0 1 0 0-18z",
                   "M9.6 9.4a2.5 2.5 0 1 1 3.4 2.3c-.6.3-1 .8-1 1.5v.7"],
             "c": [(12, 16.9, 0.9, "f")]},
    "play": {"f": ["M8.5 5.8v12.4l10-6.2z"]},
    "pause": {"s": ["M8.5 6v12", "M15.5 6v12"]},
    "stop": {"f": ["M6.8 6.8h10.4v10.4H6.8z"]},
    "previous": {"s": ["M6.5 6v12"], "f": ["M18 6.2v11.6l-9-5.8z"]},
    "next": {"s": ["M17.5 6v12"], "f": ["M6 6.2v11.6l9-5.8z"]},
    "minimize": {"s": ["M6.5 12h11"]},
    "exit": {"s": ["M7 7l10 10", "M17 7L7 17"]},
    "rip_tracks": {"s": ["M10 3.5a6.5 6.5 0 1 0 0 13a6.5 6.5 0 1 0 0-13z", "M18.5 11v9",
                         "M15.5 17l3 3 3-3"],
                   "c": [(10, 10, 1.8, "s")]},
    "segment": {"s": ["M7 5H4.5v14H7", "M17 5h2.5v14H17", "M8 12h1.5l1.5-4 2 8 1.5-4H16"]},
    "refresh": {"s": ["M19 12a7 7 0 1 1-2.05-4.95", "M19 4.5V9h-4.5"]},
    "tag": {"s": ["M3.5 4.5h8l9 9-7 7-10-10z"], "c": [(8, 9, 1.5, "s")]},
    "globe": {"s": ["M12 3a9 9 0 1 0 0 18a9 9 0 1 0 0-18z", "M3 12h18",
                    "M12 3c-2.8 2.6-4 5.6-4 9s1.2 6.4 4 9", "M12 3c2.8 2.6 4 5.6 4 9s-1.2 6.4-4 9"]},
    "cancel": {"s": ["M12 3a9 9 0 1 0 0 18a9 9 0 1 0 0-18z", "M9 9l6 6", "M15 9l-6 6"]},
    "folder": {"s": ["M3.5 7.5a2 2 0 0 1 2-2h4l2 2h7a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2h-13"
                     "a2 2 0 0 1-2-2z"]},
    "file_add": {"s": ["M6 3h8l4 4v14H6z", "M14 3v4h4", "M12 11v6", "M9 14h6"]},
    "file_remove": {"s": ["M6 3h8l4 4v14H6z", "M14 3v4h4", "M9 14h6"]},
    "clear": {"s": ["M4 6h11", "M4 11h11", "M4 16h6", "M14.5 14.5l5 5", "M19.5 14.5l-5 5"]},
    "note": {"s": ["M9 17.5V5.5l10-2v12"], "c": [(6.5, 17.5, 2.5, "s"), (16.5, 15.5, 2.5, "s")]},
    "bars": {"s": ["M4 10v4", "M8 7v10", "M12 4v16", "M16 8v8", "M20 11v2"]},
    "wave": {"s": ["M2.5 12c1.6-5 3.2-5 4.8 0s3.2 5 4.8 0 3.2-5 4.8 0 3.2 5 4.8 0"]},
    "output": {"s": ["M3.5 7.5a2 2 0 0 1 2-2h4l2 2h7a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2h-13"
                     "a2 2 0 0 1-2-2z", "M9 13.5h6", "M12.5 11l2.5 2.5-2.5 2.5"]},
    "info": {"s": ["M12 3a9 9 0 1 0 0 18a9 9 0 1 0 0-18z", "M12 11v5.5"],
             "c": [(12, 7.6, 0.9, "f")]},
    "warning": {"s": ["M10.3 4.2a2 2 0 0 1 3.4 0l7.6 13.2a2 2 0 0 1-1.7 3H4.4a2 2 0 0 1-1.7-3z",
                      "M12 9.5v4.5"],
                "c": [(12, 17, 0.9, "f")]},
    "chevron": {"s": ["M6.5 9.5l5.5 5.5 5.5-5.5"]},
    "cog": {"s": ["M12 2.8v2.6", "M12 18.6v2.6", "M2.8 12h2.6", "M18.6 12h2.6",
                  "M5.5 5.5l1.8 1.8", "M16.7 16.7l1.8 1.8", "M5.5 18.5l1.8-1.8",
                  "M16.7 7.3l1.8-1.8"],
            "c": [(12, 12, 4.6, "s"), (12, 12, 1.6, "a")]},
}


def mix(colour, background, amount):
    """colour at `amount` of its contrast against background."""
    a = [int(colour[i:i + 2], 16) for i in (1, 3, 5)]
    b = [int(background[i:i + 2], 16) for i in (1, 3, 5)]
    return "#" + "".join("%02X" % round(y + (x - y) * amount) for x, y in zip(a, b))


def glyph(name, x, y, size, colour, accent=ACCENT):
    """The glyph scaled to `size` with its top-left corner at (x, y)."""
    shapes = GLYPHS[name]
    scale = size / 24.0
    out = ['<g transform="translate(%g %g) scale(%g)" stroke="%s" stroke-width="%g" '
           'stroke-linecap="round" stroke-linejoin="round">' % (x, y, scale, colour, STROKE)]
    for d in shapes.get("s", []):
        out.append('<path d="%s" fill="none"/>' % d)
    for d in shapes.get("f", []):
        out.append('<path d="%s" fill="%s"/>' % (d, colour))
    for cx, cy, r, kind in shapes.get("c", []):
        if kind == "s":
            out.append('<circle cx="%g" cy="%g" r="%g" fill="none"/>' % (cx, cy, r))
        else:
            fill = accent if kind == "a" else colour
            out.append('<circle cx="%g" cy="%g" r="%g" fill="%s" stroke="none"/>'
                       % (cx, cy, r, fill))
    out.append("</g>")
    return "".join(out)


def svg(width, height, body, defs=""):
    return ('<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            'width="%g" height="%g" viewBox="0 0 %g %g">\n<defs>%s</defs>\n%s\n</svg>\n'
            % (width, height, width, height, defs, body))


def vertical_gradient(gid, top, bottom, top_opacity=1, bottom_opacity=1):
    return ('<linearGradient id="%s" x1="0" y1="0" x2="0" y2="1">'
            '<stop offset="0" stop-color="%s" stop-opacity="%g"/>'
            '<stop offset="1" stop-color="%s" stop-opacity="%g"/></linearGradient>'
            % (gid, top, top_opacity, bottom, bottom_opacity))


FACE_DEFS = (vertical_gradient("up", FACE_TOP, FACE_BOTTOM) +
             vertical_gradient("down", PRESSED_TOP, PRESSED_BOTTOM) +
             vertical_gradient("rim", "#5A616C", HAIRLINE) +
             vertical_gradient("accent", "#34A0EE", "#1A70B8") +
             vertical_gradient("accentdown", "#1A70B8", "#155E9B"))


def face_shape(shape, x, y, w, h, radius, fill, stroke, extra=""):
    if shape == "circle":
        return ('<circle cx="%g" cy="%g" r="%g" fill="%s" stroke="%s" stroke-width="1"%s/>'
                % (x + w / 2, y + h / 2, w / 2, fill, stroke, extra))
    return ('<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s" stroke="%s" '
            'stroke-width="1"%s/>' % (x, y, w, h, radius, fill, stroke, extra))


def button(width, height, shape, radius, icon, icon_box, state, primary=False, flat=False):
    """One state ("U", "D" or "X") of a button face with its glyph in icon_box (x, y, size)."""
    x, y, w, h = 0.5, 0.5, width - 1, height - 1
    if shape == "circle":
        side = min(w, h) - 1
        x, y, w, h = (width - side) / 2, (height - side) / 2, side, side
    parts = []
    if flat:
        # Window controls: a bare glyph; the pressed state gets a round accent-edged face.
        if state == "D":
            parts.append(face_shape("circle", x, y, w, h, 0, "url(#down)", ACCENT_DARK))
        colour = ACCENT if state == "D" else SECONDARY
    elif state == "U":
        # A shadow one pixel below lifts the face off the body.
        parts.append(face_shape(shape, x, y + 1, w, h, radius, "#101215", "none",
                                ' fill-opacity="0.55"'))
        parts.append(face_shape(shape, x, y, w, h, radius,
                                "url(#accent)" if primary else "url(#up)",
                                ACCENT_DARK if primary else "url(#rim)"))
        colour = "#FFFFFF" if primary else TEXT
    elif state == "D":
        parts.append(face_shape(shape, x, y, w, h, radius,
                                "url(#accentdown)" if primary else "url(#down)", ACCENT_DARK))
        # An inner shadow along the top edge reads as pressed in.
        parts.append(face_shape(shape, x + 1, y + 1, w - 2, h - 2, max(radius - 1, 0), "none",
                                "#0C0D10", ' stroke-opacity="0.7"'))
        colour = TEXT if primary else ACCENT
    else:
        parts.append(face_shape(shape, x, y, w, h, radius, FACE_BOTTOM,
                                mix(HAIRLINE, FACE_BOTTOM, DISABLED_CONTRAST)))
        colour = mix(TEXT, FACE_BOTTOM, DISABLED_CONTRAST)
    ix, iy, size = icon_box
    offset = 0.5 if state == "D" and not flat else 0  # the glyph sinks with the face
    parts.append(glyph(icon, ix, iy + offset, size, colour,
                       accent=colour if state != "U" else ACCENT))
    return svg(width, height, "\n".join(parts), FACE_DEFS)


# Button families: size, face shape and corner radius, where the glyph goes (the caption, drawn
# by the widget with the program's font, takes the room left below or beside it).
def tile(width, height):  # top bar: glyph above a caption
    return dict(width=width, height=height, shape="rect", radius=9,
                icon_box=((width - 22) / 2, 5, 22))


def round_button(side, glyph_size):
    return dict(width=side, height=side, shape="circle", radius=0,
                icon_box=((side - glyph_size) / 2, (side - glyph_size) / 2, glyph_size))


PILL = dict(width=90, height=27, shape="rect", radius=7, icon_box=(8, 4.5, 18))
SQUARE = dict(width=39, height=39, shape="rect", radius=9, icon_box=(8.5, 8.5, 22))
WINDOW = dict(width=24, height=24, shape="circle", radius=0, icon_box=(3, 3, 18), flat=True)

# Base name -> (family, glyph, states). MIN and EXIT have no disabled picture; OPEN shows its up
# picture when disabled.
BUTTONS = {
    "RIP": (tile(64, 48), "disc", "UDX"),
    "CONVERT": (tile(64, 48), "swap", "UDX"),
    "OPTION": (tile(64, 49), "sliders", "UDX"),
    "HELP": (tile(64, 48), "help", "UDX"),
    "PLAY": (dict(round_button(63, 28), primary=True), "play", "UDX"),
    "PAUSE": (round_button(28, 15), "pause", "UDX"),
    "STOP": (round_button(28, 15), "stop", "UDX"),
    "PRE": (round_button(28, 15), "previous", "UDX"),
    "NEXT": (round_button(28, 15), "next", "UDX"),
    "MIN": (WINDOW, "minimize", "UD"),
    "EXIT": (WINDOW, "exit", "UD"),
    "RIPTRACK": (PILL, "rip_tracks", "UDX"),
    "RIPSEG": (PILL, "segment", "UDX"),
    "REFRESH": (PILL, "refresh", "UDX"),
    "ID3": (PILL, "tag", "UDX"),
    "CDDB": (PILL, "globe", "UDX"),
    "CANCEL": (PILL, "cancel", "UDX"),
    "OPEN": (PILL, "folder", "UD"),
    "ADD": (SQUARE, "file_add", "UDX"),
    "DELETE": (SQUARE, "file_remove", "UDX"),
    "CLEAR": (PILL, "clear", "UDX"),
    "MP3": (PILL, "note", "UDX"),
    "WMA": (PILL, "bars", "UDX"),
    "OGG": (PILL, "wave", "UDX"),
}

# The Options sheet's tab icons, in tab order.
TABS = [("mp3", "note"), ("wma", "bars"), ("ogg", "wave"), ("cdrom", "disc"),
        ("output", "output"), ("freedb", "globe"), ("misc", "cog")]


def tab_icon(name):
    return svg(14, 14, glyph(name, 0, 0, 14, TEXT), "")


def program_icon():
    """The window and desktop icon: a graphite tile holding a disc with a sound wave."""
    defs = (vertical_gradient("tile", "#353A42", BODY_BOTTOM) +
            vertical_gradient("rim", "#5A616C", "#2B2F36") +
            vertical_gradient("disc", "#4FB4F7", ACCENT_DARK))
    body = [
        '<rect x="12" y="12" width="232" height="232" rx="52" fill="url(#tile)" '
        'stroke="url(#rim)" stroke-width="4"/>',
        '<circle cx="128" cy="128" r="84" fill="url(#disc)"/>',
        '<circle cx="128" cy="128" r="62" fill="none" stroke="#FFFFFF" stroke-opacity="0.18" '
        'stroke-width="3"/>',
        '<circle cx="128" cy="128" r="42" fill="none" stroke="#FFFFFF" stroke-opacity="0.14" '
        'stroke-width="3"/>',
        '<circle cx="128" cy="128" r="26" fill="%s"/>' % BODY_BOTTOM,
        '<circle cx="128" cy="128" r="9" fill="%s" stroke="#FFFFFF" stroke-opacity="0.35" '
        'stroke-width="3"/>' % PANEL,
        '<path d="M66 112a64 64 0 0 1 46-46" fill="none" stroke="#FFFFFF" stroke-opacity="0.55" '
        'stroke-width="8" stroke-linecap="round"/>',
    ]
    return svg(256, 256, "\n".join(body), defs)


WINDOW_W, WINDOW_H = 700, 468


def view_panel(x, y, w, h):
    """The lighter inset panel the views sit on: darker top edge, lighter bottom edge."""
    return ('<rect x="%g" y="%g" width="%g" height="%g" rx="8" fill="%s" stroke="url(#inset)" '
            'stroke-width="1"/>' % (x + 0.5, y + 0.5, w - 1, h - 1, PANEL))


INSET_DEFS = vertical_gradient("inset", "#121417", HAIRLINE)


def main_background():
    """The body of the main window (drawn at client point (1, 1))."""
    defs = (vertical_gradient("body", BODY_TOP, BODY_BOTTOM) +
            vertical_gradient("edge", HAIRLINE, BODY_BOTTOM, 1, 0) + INSET_DEFS +
            vertical_gradient("mark", "#4FB4F7", ACCENT_DARK))
    body = [
        '<rect x="0" y="0" width="%d" height="%d" rx="20" fill="url(#body)"/>'
        % (WINDOW_W, WINDOW_H),
        # A hairline highlight that fades out down the sides.
        '<rect x="0.5" y="0.5" width="%d" height="%d" rx="19.5" fill="none" '
        'stroke="url(#edge)" stroke-width="1"/>' % (WINDOW_W - 1, WINDOW_H - 1),
        # The program's mark at the top left; the name beside it is drawn with the text font.
        '<circle cx="41" cy="33" r="17" fill="url(#mark)"/>',
        '<circle cx="41" cy="33" r="6" fill="%s"/>' % BODY_BOTTOM,
        '<circle cx="41" cy="33" r="11.5" fill="none" stroke="#FFFFFF" stroke-opacity="0.2"/>',
        # Where the views go (client rectangle shrunk by 20, 90, 20 and 75).
        view_panel(19, 89, 662, 305),
        # The status display of the player.
        '<rect x="235.5" y="415.5" width="412" height="28" rx="7" fill="%s" '
        'stroke="url(#inset)" stroke-width="1"/>' % WELL,
    ]
    return svg(WINDOW_W, WINDOW_H, "\n".join(body), defs)


def view_background():
    return svg(662, 305, view_panel(0, 0, 662, 305), INSET_DEFS)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources", "skin")
    os.makedirs(out, exist_ok=True)
    files = {}
    for base, (family, icon, states) in BUTTONS.items():
        for state in states:
            options = dict(family)
            files["%s%s.svg" % (base, state)] = button(
                options["width"], options["height"], options["shape"], options["radius"], icon,
                options["icon_box"], state, primary=options.get("primary", False),
                flat=options.get("flat", False))
    for tab, icon in TABS:
        files["tab_%s.svg" % tab] = tab_icon(icon)
    # Message box icons: the question and information in the accent, warning and error in their
    # own colours.
    for kind, icon, colour in (("question", "help", ACCENT), ("information", "info", ACCENT),
                               ("warning", "warning", WARNING), ("error", "cancel", ERROR)):
        files["message_%s.svg" % kind] = svg(32, 32, glyph(icon, 0, 0, 32, colour), "")
    # Radio button indicators for the dialogs: drawn at twice their 14-pixel size so that the style
    # sheet that shows them stays sharp at 200 %.
    for name, on, enabled in (("radio_on", True, True), ("radio_off", False, True),
                              ("radio_on_disabled", True, False),
                              ("radio_off_disabled", False, False)):
        ring = (ACCENT if on else HAIRLINE) if enabled else mix(HAIRLINE, BODY_TOP, DISABLED_CONTRAST)
        dot = ACCENT if enabled else mix(ACCENT, BODY_TOP, DISABLED_CONTRAST)
        body = ['<circle cx="7" cy="7" r="6.25" fill="%s" stroke="%s" stroke-width="1.5"/>'
                % (WELL, ring)]
        if on:
            body.append('<circle cx="7" cy="7" r="3.25" fill="%s"/>' % dot)
        files["%s.svg" % name] = ('<svg xmlns="http://www.w3.org/2000/svg" version="1.2" '
                                  'baseProfile="tiny" width="28" height="28" viewBox="0 0 14 14">'
                                  '\n%s\n</svg>\n' % "\n".join(body))
    # Check boxes of the lists and of their check column's header, likewise drawn at twice their
    # 14-pixel size: a dark well with a hairline edge, filled with the accent and ticked when on.
    for name, on, enabled in (("check_on", True, True), ("check_off", False, True),
                              ("check_on_disabled", True, False),
                              ("check_off_disabled", False, False)):
        edge = (ACCENT_DARK if on else SECONDARY) if enabled else mix(HAIRLINE, BODY_TOP,
                                                                      DISABLED_CONTRAST)
        fill = (ACCENT if enabled else mix(ACCENT, BODY_TOP, DISABLED_CONTRAST)) if on else WELL
        body = ['<rect x="1" y="1" width="12" height="12" rx="2.5" fill="%s" stroke="%s" '
                'stroke-width="1.25"/>' % (fill, edge)]
        if on:
            body.append('<path d="M4 7.2l2.1 2.1L10.2 4.9" fill="none" stroke="%s" '
                        'stroke-width="1.75" stroke-linecap="round" stroke-linejoin="round"/>'
                        % WELL)
        files["%s.svg" % name] = ('<svg xmlns="http://www.w3.org/2000/svg" version="1.2" '
                                  'baseProfile="tiny" width="28" height="28" viewBox="0 0 14 14">'
                                  '\n%s\n</svg>\n' % "\n".join(body))
    files["combo_arrow.svg"] = svg(12, 12, glyph("chevron", 0, 0, 12, SECONDARY), "")
    files["tonalda.svg"] = program_icon()
    files["background.svg"] = main_background()
    files["view_background.svg"] = view_background()
    for name, text in files.items():
        with open(os.path.join(out, name), "w", encoding="utf-8") as f:
            f.write(text)
    print("wrote %d pictures into %s" % (len(files), os.path.normpath(out)))


if __name__ == "__main__":
    main()
