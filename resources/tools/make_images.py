#!/usr/bin/env python3
"""Writes the interface images of Tarnwell as SVG files into resources/gui.

Every image is drawn here from simple shapes. Buttons come in states chosen by
the style sheets: -U normal, -X disabled, -F hover, -D pressed and, for the
play, pause and stop buttons, -P pressed. Run it after changing a drawing; the
resource collection lists the files it writes (see write_qrc).
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'gui')
FONT = "DejaVu Sans, Liberation Sans, sans-serif"

written = []


def svg(name, w, h, body, defs=''):
    text = ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
            'viewBox="0 0 %d %d">\n<defs>%s</defs>\n%s\n</svg>\n' % (w, h, w, h, defs, body))
    with open(os.path.join(OUT, name + '.svg'), 'w') as f:
        f.write(text)
    written.append(name)


def grad(gid, top, bottom, vertical=True):
    x2, y2 = ('0', '1') if vertical else ('1', '0')
    return ('<linearGradient id="%s" x1="0" y1="0" x2="%s" y2="%s">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/>'
            '</linearGradient>' % (gid, x2, y2, top, bottom))


# Colours per state: background top, background bottom, glyph colour, glyph opacity, offset.
STATES = {
    'U': ('#707070', '#3c3c3c', '#ffffff', 1.0, 0),
    'F': ('#8a8a9a', '#4a4a5c', '#d8e6ff', 1.0, 0),
    'D': ('#3a3a3a', '#5a5a5a', '#b0c8ff', 1.0, 1),
    'P': ('#3a3a3a', '#5a5a5a', '#b0c8ff', 1.0, 1),
    'X': ('#5a5a5a', '#484848', '#9a9a9a', 0.6, 0),
}

# Pictograms on a 24 x 24 grid, drawn with the glyph colour (fill) unless
# they say otherwise.
GLYPHS = {
    'open': '<path d="M2 6h7l2 2h11v12H2z" fill="none" stroke="C" stroke-width="2"/><path d="M2 20l4-9h18l-4 9z" fill="C"/>',
    'save': '<path d="M3 3h15l3 3v15H3z" fill="none" stroke="C" stroke-width="2"/><rect x="7" y="3" width="9" height="6" fill="C"/><rect x="6" y="13" width="12" height="8" fill="C" opacity="0.7"/>',
    'export': '<path d="M4 14v7h16v-7" fill="none" stroke="C" stroke-width="2"/><path d="M12 16V3M7 8l5-5 5 5" fill="none" stroke="C" stroke-width="2.4"/>',
    'rip': '<circle cx="12" cy="12" r="9.5" fill="none" stroke="C" stroke-width="2"/><circle cx="12" cy="12" r="3" fill="C"/><path d="M12 4a8 8 0 0 1 8 8" fill="none" stroke="C" stroke-width="1.5" opacity="0.7"/>',
    'aspect_resize': '<rect x="3" y="6" width="18" height="12" fill="none" stroke="C" stroke-width="2"/><path d="M6 9h4M6 9v3M18 15h-4M18 15v-3" stroke="C" stroke-width="2" fill="none"/>',
    'sniffer': '<circle cx="10" cy="10" r="6.5" fill="none" stroke="C" stroke-width="2.4"/><path d="M15 15l6 6" stroke="C" stroke-width="3" stroke-linecap="round"/><path d="M8 8l4 2-4 2z" fill="C"/>',
    'undo': '<path d="M9 4L3 9l6 5" fill="none" stroke="C" stroke-width="2.4"/><path d="M3 9h11a6 6 0 0 1 0 12H8" fill="none" stroke="C" stroke-width="2.4"/>',
    'redo': '<path d="M15 4l6 5-6 5" fill="none" stroke="C" stroke-width="2.4"/><path d="M21 9H10a6 6 0 0 0 0 12h6" fill="none" stroke="C" stroke-width="2.4"/>',
    'marker': '<path d="M6 2h12v20l-6-5-6 5z" fill="C"/>',
    'Option': '<circle cx="12" cy="12" r="3.5" fill="none" stroke="C" stroke-width="2"/><path d="M12 2v4M12 18v4M2 12h4M18 12h4M4.9 4.9l2.8 2.8M16.3 16.3l2.8 2.8M4.9 19.1l2.8-2.8M16.3 7.7l2.8-2.8" stroke="C" stroke-width="2.6"/>',
    'help': '<circle cx="12" cy="12" r="10" fill="none" stroke="C" stroke-width="2"/><path d="M8.5 9a3.5 3.5 0 1 1 5 3.2c-1 .5-1.5 1.2-1.5 2.3v.5" fill="none" stroke="C" stroke-width="2.2"/><circle cx="12" cy="18.5" r="1.4" fill="C"/>',
    'printer': '<rect x="6" y="2" width="12" height="6" fill="none" stroke="C" stroke-width="2"/><rect x="2" y="8" width="20" height="9" rx="2" fill="C"/><rect x="6" y="14" width="12" height="8" fill="#303030" stroke="C" stroke-width="1.5"/>',
}

CAPTIONS = {
    'open': 'Open', 'save': 'Save', 'export': 'Export', 'rip': 'Rip',
    'aspect_resize': 'Size', 'sniffer': 'Sniffer', 'undo': 'Undo', 'redo': 'Redo',
    'marker': 'Marker', 'Option': 'Options', 'help': 'Help', 'printer': 'Print',
}


def glyph(key, colour):
    return GLYPHS[key].replace('"C"', '"%s"' % colour)


def toolbar_buttons():
    for key in GLYPHS:
        for st, (top, bot, col, op, off) in STATES.items():
            if st == 'P':
                continue
            d = grad('g', top, bot)
            body = ('<rect width="59" height="63" fill="url(#g)"/>'
                    '<rect x="0.5" y="0.5" width="58" height="62" fill="none" stroke="#202020" stroke-opacity="0.5"/>'
                    '<g opacity="%s" transform="translate(%d %d) scale(1.25)">%s</g>'
                    '<text x="%g" y="%d" font-family="%s" font-size="10" fill="%s" opacity="%s" '
                    'text-anchor="middle">%s</text>'
                    % (op, 15 + off, 8 + off, glyph(key, col), 29.5 + off, 55 + off, FONT, col, op, CAPTIONS[key]))
            svg('%s-%s' % (key, st), 59, 63, body, d)
    d = grad('g', '#707070', '#3c3c3c')
    svg('menubar-div', 8, 63, '<rect width="8" height="63" fill="url(#g)"/>'
        '<path d="M3.5 6v51" stroke="#202020"/><path d="M4.5 6v51" stroke="#909090"/>', d)
    svg('left-menubar-siding', 11, 63, '<path d="M11 0H8a8 8 0 0 0-8 8v47a8 8 0 0 0 8 8h3z" fill="url(#g)"/>', d)
    svg('right-menubar-siding', 11, 63, '<path d="M0 0h3a8 8 0 0 1 8 8v47a8 8 0 0 1-8 8H0z" fill="url(#g)"/>', d)


def small_buttons():
    """The side panel's step, reset and edit buttons."""
    steps = {
        'plusBig': '<path d="M9.5 4v10M4.5 9h10" stroke="C" stroke-width="2.6"/>',
        'plusSmall': '<path d="M9.5 6v6M6.5 9h6" stroke="C" stroke-width="1.8"/>',
        'minusSmall': '<path d="M6.5 9h6" stroke="C" stroke-width="1.8"/>',
        'minusBig': '<path d="M4.5 9h10" stroke="C" stroke-width="2.6"/>',
    }
    for key, g in steps.items():
        for st in 'UXFD':
            top, bot, col, op, off = STATES[st]
            body = ('<rect x="0.5" y="0.5" width="18" height="17" rx="4" fill="url(#g)" stroke="#202020"/>'
                    '<g opacity="%s" transform="translate(%d %d)">%s</g>' % (op, off, off, g.replace('"C"', '"%s"' % col)))
            svg('%s-%s' % (key, st), 19, 18, body, grad('g', top, bot))
    for st in 'UXFD':
        top, bot, col, op, off = STATES[st]
        body = ('<circle cx="12.5" cy="12" r="10.5" fill="url(#g)" stroke="#202020"/>'
                '<g opacity="%s" transform="translate(%d %d)"><path d="M17.5 12a5 5 0 1 1-1.5-3.6" fill="none" stroke="%s" stroke-width="2"/>'
                '<path d="M17.5 5.5v4h-4z" fill="%s"/></g>' % (op, off, off, col, col))
        svg('Reset-%s' % st, 25, 24, body, grad('g', top, bot))

    # 57 x 22 edit and loop buttons: a small pictogram and a word.
    edit = {
        'delete': ('<path d="M3 6h10M5 6v9h6V6M6.5 4h3" fill="none" stroke="C" stroke-width="1.6"/>', 'Delete'),
        'copy': ('<rect x="3" y="3" width="7" height="9" fill="none" stroke="C" stroke-width="1.4"/><rect x="6" y="6" width="7" height="9" fill="C"/>', 'Copy'),
        'Cut': ('<circle cx="5" cy="13" r="2.3" fill="none" stroke="C" stroke-width="1.4"/><circle cx="11" cy="13" r="2.3" fill="none" stroke="C" stroke-width="1.4"/><path d="M6 11l6-9M10 11L4 2" stroke="C" stroke-width="1.4"/>', 'Cut'),
        'paste': ('<rect x="3" y="4" width="10" height="12" rx="1" fill="none" stroke="C" stroke-width="1.4"/><rect x="5.5" y="2" width="5" height="4" fill="C"/>', 'Paste'),
        'volume': ('<path d="M2 7h3l4-4v12l-4-4H2z" fill="C"/><path d="M11 6a4 4 0 0 1 0 6M13 4a7 7 0 0 1 0 10" fill="none" stroke="C" stroke-width="1.3"/>', 'Volume'),
        'silence': ('<path d="M2 7h3l4-4v12l-4-4H2z" fill="C"/><path d="M11 6l5 6M16 6l-5 6" stroke="C" stroke-width="1.5"/>', 'Silence'),
        'start': ('<path d="M4 3v12" stroke="C" stroke-width="2"/><path d="M6 3l8 6-8 6z" fill="C"/>', 'Start'),
        'end': ('<path d="M12 3v12" stroke="C" stroke-width="2"/><path d="M10 3L2 9l8 6z" fill="C"/>', 'End'),
        'edit': ('<path d="M3 15l1-4 8-8 3 3-8 8z" fill="C"/>', 'Edit'),
    }
    for key, (g, word) in edit.items():
        for st in 'UXFD':
            top, bot, col, op, off = STATES[st]
            body = ('<rect x="0.5" y="0.5" width="56" height="21" rx="5" fill="url(#g)" stroke="#202020"/>'
                    '<g opacity="%s" transform="translate(%d %d)">%s'
                    '<text x="36" y="15" font-family="%s" font-size="9.5" fill="%s" text-anchor="middle">%s</text></g>'
                    % (op, 3 + off, 2 + off, g.replace('"C"', '"%s"' % col), FONT, col, word))
            svg('%s-%s' % (key, st), 57, 22, body, grad('g', top, bot))
    arrows = {'left': 'M11 5l-6 6 6 6z', 'right': 'M6 5l6 6-6 6z'}
    for key, p in arrows.items():
        for st in 'UXFD':
            top, bot, col, op, off = STATES[st]
            body = ('<rect x="0.5" y="0.5" width="16" height="21" rx="4" fill="url(#g)" stroke="#202020"/>'
                    '<path transform="translate(%d %d)" d="%s" fill="%s" opacity="%s"/>' % (off, off, p, col, op))
            svg('%s-%s' % (key, st), 17, 22, body, grad('g', top, bot))
    svg('Lopp-adjust', 17, 22, '<path d="M5 6h7a4 4 0 0 1 0 8H5a4 4 0 0 1 0-8" fill="none" stroke="#ffffff" stroke-width="2" transform="translate(0 1)"/>'
        '<path d="M9 4l3 3-3 3z" fill="#ffffff"/>')
    svg('marker-adjust', 17, 22, '<path d="M4 3h9v16l-4.5-4L4 19z" fill="#ffffff"/>')
    ticks = ''.join('<path d="M%g 0v%d" stroke="#202020"/>' % (0.5 + i * 174.0 / 20, 5 if i % 5 == 0 else 3)
                    for i in range(21))
    svg('ticks', 175, 5, ticks)
    svg('volume_indicator', 27, 15, '<path d="M2 5h4l5-4v13l-5-4H2z" fill="#d0d0d0"/>'
        '<path d="M14 4a5 5 0 0 1 0 7M17 2a8 8 0 0 1 0 11M20 0.5a11 11 0 0 1 0 14" fill="none" stroke="#d0d0d0" stroke-width="1.4"/>')


def slider_handles():
    looks = {'U': ('#f4f4f4', '#a8a8a8'), 'F': ('#ffffff', '#b8c8f0'),
             'D': ('#b8b8b8', '#e0e0e0'), 'X': ('#9a9a9a', '#7a7a7a')}
    for st, (a, b) in looks.items():
        svg('mainprogress-pointer-%s' % st, 19, 16,
            '<circle cx="9.5" cy="8" r="7" fill="url(#g)" stroke="#303030"/><circle cx="9.5" cy="8" r="2" fill="#3030c0" opacity="0.8"/>',
            grad('g', a, b))
        svg('pointer-%s' % st, 19, 19,
            '<path d="M2 1.5h15v10l-7.5 6.5L2 11.5z" fill="url(#g)" stroke="#303030"/><path d="M9.5 4v8" stroke="#303030"/>',
            grad('g', a, b))


def main_window():
    svg('plusButton-U', 13, 13, '<circle cx="6.5" cy="6.5" r="6" fill="#5a5a5a" stroke="#202020"/><path d="M6.5 3v7M3 6.5h7" stroke="#ffffff" stroke-width="1.8"/>')
    svg('plusButton-D', 13, 13, '<circle cx="6.5" cy="6.5" r="6" fill="#303030" stroke="#202020"/><path d="M6.5 3v7M3 6.5h7" stroke="#b0c8ff" stroke-width="1.8"/>')
    svg('toggle-up', 19, 12, '<rect x="0.5" y="0.5" width="18" height="11" rx="3" fill="#5a5a5a" stroke="#202020"/><path d="M5 8l4.5-4.5L14 8z" fill="#ffffff"/>')
    svg('toggle-down', 19, 12, '<rect x="0.5" y="0.5" width="18" height="11" rx="3" fill="#5a5a5a" stroke="#202020"/><path d="M5 4l4.5 4.5L14 4z" fill="#ffffff"/>')


def transport():
    glyphs = {
        'play': (31, 26, '<path d="M11 6l11 7-11 7z" fill="C"/>'),
        'pause': (40, 33, '<rect x="13" y="9" width="5" height="15" fill="C"/><rect x="22" y="9" width="5" height="15" fill="C"/>'),
        'stop': (31, 26, '<rect x="9" y="7" width="13" height="12" fill="C"/>'),
    }
    for key, (w, h, g) in glyphs.items():
        for st in 'UXFP':
            top, bot, col, op, off = STATES[st]
            r = min(w, h) / 2.0 - 1
            body = ('<ellipse cx="%g" cy="%g" rx="%g" ry="%g" fill="url(#g)" stroke="#1a1a1a"/>'
                    '<g opacity="%s" transform="translate(%d %d)">%s</g>'
                    % (w / 2.0, h / 2.0, w / 2.0 - 1, r, op, off, off, g.replace('"C"', '"%s"' % col)))
            svg('%s-%s' % (key, st), w, h, body, grad('g', top, bot))
    steps = {'-1': ('back', '1s'), '-025': ('back', '¼s'), '-01': ('back', '.1s'), '-f': ('back', 'F'),
             'f': ('fwd', 'F'), '01': ('fwd', '.1s'), '025': ('fwd', '¼s'), '1': ('fwd', '1s')}
    for key, (way, word) in steps.items():
        for st in 'UXFD':
            top, bot, col, op, off = STATES[st]
            arrow = 'M9 7l-6 4.5 6 4.5z' if way == 'back' else 'M24 7l6 4.5-6 4.5z'
            tx = 19 if way == 'back' else 14
            body = ('<rect x="0.5" y="0.5" width="32" height="22" rx="7" fill="url(#g)" stroke="#1a1a1a"/>'
                    '<g opacity="%s" transform="translate(%d %d)"><path d="%s" fill="%s"/>'
                    '<text x="%d" y="15" font-family="%s" font-size="9" fill="%s" text-anchor="middle">%s</text></g>'
                    % (op, off, off, arrow, col, tx, FONT, col, word))
            svg('%s-%s' % (key, st), 33, 23, body, grad('g', top, bot))
    svg('container', 130, 40, '<rect x="0.5" y="0.5" width="129" height="39" rx="19.5" fill="url(#g)" stroke="#202020"/>',
        grad('g', '#2a2a2a', '#4a4a4a'))
    svg('FF', 53, 41, '<rect x="0.5" y="0.5" width="52" height="40" rx="12" fill="url(#g)" stroke="#202020"/>'
        '<path d="M14 13l9 7.5-9 7.5zM26 13l9 7.5-9 7.5z" fill="#ffffff" opacity="0.85"/>'
        '<path d="M38 13v15" stroke="#ffffff" stroke-width="2" opacity="0.85"/>', grad('g', '#404040', '#202020'))


def ruler():
    """Handles and labels of the time ruler and the track rows."""
    looks = {'U': 1.0, 'F': 1.15, 'D': 0.8, 'X': 0.45}
    colours = {'bookmark': '#f0c020', 'beginPointer': '#30c030', 'endPointer': '#e04040', 'bluePointer': '#3060f0'}
    for key, c in colours.items():
        for st, k in looks.items():
            op = 1.0 if st != 'X' else 0.5
            if key == 'bluePointer':
                shape = ('<path d="M1.5 1.5h15v11l-7.5 7-7.5-7z" fill="%s" stroke="#101040" opacity="%s"/>'
                         '<path d="M9 4v10" stroke="#ffffff" opacity="0.7"/>' % (c, op))
                svg('%s-%s' % (key, st), 18, 21, _shade(shape, k))
            elif key == 'bookmark':
                svg('%s-%s' % (key, st), 10, 13, _shade('<path d="M1 0.5h8v12L5 9l-4 3.5z" fill="%s" stroke="#403000" opacity="%s"/>' % (c, op), k))
            else:
                svg('%s-%s' % (key, st), 10, 13, _shade('<path d="M5 0.5l4.5 6-4.5 6-4.5-6z" fill="%s" stroke="#102010" opacity="%s"/>' % (c, op), k))
    svg('Left-graypointer-U', 22, 18, '<path d="M21.5 1v16H8L1 9l7-8z" fill="#b0b0b0" stroke="#404040"/>')
    svg('Right-graypointer-U', 22, 18, '<path d="M0.5 1v16H14l7-8-7-8z" fill="#b0b0b0" stroke="#404040"/>')
    svg('arrow-slider', 80, 30, '<rect x="0.5" y="0.5" width="79" height="29" rx="8" fill="#202020" fill-opacity="0.7" stroke="#a0a0a0"/>'
        '<path d="M8 15l10-8v16zM72 15l-10-8v16z" fill="#ffffff"/><path d="M20 15h40" stroke="#ffffff" stroke-width="2"/>')
    labels = {'LoopingArea-label': 'LOOPS', 'MarkerArea-label': 'MARKERS', 'SelectionTool-Label': 'SELECTION'}
    for key, word in labels.items():
        svg(key, 60, 19, '<rect width="60" height="19" fill="#464646"/><text x="30" y="13" font-family="%s" font-size="8" '
            'fill="#e0e0e0" text-anchor="middle">%s</text>' % (FONT, word))
    svg('audio-icon', 20, 20, '<path d="M7 3v11.5a3 3 0 1 1-2-2.8V3h10v3H7" fill="#e0e0e0"/>')
    svg('video-icon', 20, 20, '<rect x="2" y="5" width="12" height="10" rx="2" fill="#e0e0e0"/><path d="M14 9l5-3v8l-5-3z" fill="#e0e0e0"/>')
    svg('locked', 14, 16, '<path d="M4 7V5a3 3 0 0 1 6 0v2" fill="none" stroke="#e0e0e0" stroke-width="1.8"/><rect x="2" y="7" width="10" height="8" rx="1.5" fill="#e0e0e0"/>')
    svg('unlocked', 14, 16, '<path d="M4 7V5a3 3 0 0 1 6 0" fill="none" stroke="#a0a0a0" stroke-width="1.8"/><rect x="2" y="7" width="10" height="8" rx="1.5" fill="#a0a0a0"/>')
    svg('checkbox-checked', 14, 14, '<rect x="0.5" y="0.5" width="13" height="13" rx="2" fill="#303030" stroke="#a0a0a0"/><path d="M3 7l3 3 5-6" fill="none" stroke="#60d060" stroke-width="2"/>')
    svg('checkbox-unchecked', 14, 14, '<rect x="0.5" y="0.5" width="13" height="13" rx="2" fill="#303030" stroke="#a0a0a0"/>')


def _shade(shape, k):
    if k > 1.0:
        return shape + '<rect width="100%" height="100%" fill="#ffffff" opacity="0.12"/>'
    if k < 1.0:
        return '<g transform="translate(0 0.5)">' + shape + '</g>'
    return shape


def app_icon():
    body = ('<rect x="16" y="16" width="224" height="224" rx="48" fill="url(#g)"/>'
            '<rect x="16" y="16" width="224" height="224" rx="48" fill="none" stroke="#101030" stroke-width="4"/>'
            '<path d="M52 176V80l28 22v74z" fill="#ffffff" opacity="0.25"/>'
            '<circle cx="128" cy="128" r="72" fill="none" stroke="#ffffff" stroke-width="14"/>'
            '<path d="M112 92l44 36-44 36z" fill="#ffffff"/>'
            '<path d="M56 208c24-18 48 18 72 0s48 18 72 0" fill="none" stroke="#9fd0ff" stroke-width="8" stroke-linecap="round"/>')
    svg('tw_icon', 256, 256, body, grad('g', '#3a6ae0', '#1a2a70'))


def write_qrc():
    names = sorted(written, key=str.lower)
    lines = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '  <qresource prefix="/gui">']
    lines += ['    <file alias="%s">gui/%s.svg</file>' % (n, n) for n in names]
    lines += ['  </qresource>', '  <qresource prefix="/MainWindow">',
              '    <file alias="style.qss">MainWindow/style.qss</file>', '  </qresource>', '</RCC>', '']
    with open(os.path.join(HERE, '..', 'resources.qrc'), 'w') as f:
        f.write('\n'.join(lines))


if __name__ == '__main__':
    os.makedirs(OUT, exist_ok=True)
    toolbar_buttons()
    small_buttons()
    slider_handles()
    main_window()
    transport()
    ruler()
    app_icon()
    write_qrc()
    sys.stdout.write('%d images\n' % len(written))
