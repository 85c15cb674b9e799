"""The installer's background under Wine: the pale-yellow client area, the red title at the
left edge, and the figure that keeps moving while the worker's dialogs are open. Every
screenshot is kept as an artefact of its test."""
import contextlib
import os
import re
import subprocess

import harness as h

BACKGROUND = (255, 255, 153)
TITLE_RED = (255, 0, 0)
QUESTION = "Are you sure you want to install Lumivane 1.0.2?"
# The figure is out of sight for up to some 70 ticks at a time (its hidden count above the
# number of its triangles): twelve screenshots a second apart always hold two consecutive
# ones that both show it, even with the timer running at half its pace.
SHOTS = 12


@contextlib.contextmanager
def own_display(case):
    """A screen of the test's own for the duration: screenshots show the whole screen, and
    the installers of tests running beside this one open their windows in the same place
    on the shared screen."""
    display, p = h.xvfb_on_free_display(range(400, 700), os.path.join(case.dir, "xvfb.out"))
    if not display:
        raise AssertionError("no free X display for the test's own screen")
    before = os.environ.get("ORV_E2E_DISPLAY")
    os.environ["ORV_E2E_DISPLAY"] = display
    try:
        yield
    finally:
        # The prefix's wineserver and its programs hold the display: end them first.
        for pfx in case.prefixes:
            with contextlib.suppress(Exception):
                pfx.stop()
        if before is None:
            del os.environ["ORV_E2E_DISPLAY"]
        else:
            os.environ["ORV_E2E_DISPLAY"] = before
        h.stop_process(p)


def load(path):
    """A screenshot as (width, height, rows of RGB bytes), read through ImageMagick."""
    assert path and os.path.exists(path), "no screenshot at %r" % path
    ppm = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True,
                         timeout=60).stdout
    fields, pos = [], 0
    while len(fields) < 4:
        while ppm[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not ppm[end:end + 1].isspace():
            end += 1
        fields.append(ppm[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255", "unexpected image header %r" % fields
    w, hgt = int(fields[1]), int(fields[2])
    data = ppm[pos + 1:]
    assert len(data) == w * hgt * 3, "image of %dx%d with %d bytes" % (w, hgt, len(data))
    return w, hgt, data


def pixel(img, x, y):
    w, _, data = img
    i = (y * w + x) * 3
    return tuple(data[i:i + 3])


def count(img, colour, x_range=None):
    w, hgt, data = img
    want = bytes(colour)
    xs = range(w) if x_range is None else x_range
    return sum(1 for y in range(hgt) for x in xs if data[(y * w + x) * 3:(y * w + x) * 3 + 3] == want)


def moved_figure(first, second):
    """The figure as each screenshot shows it: the pixels that differ between the two
    screenshots and are not background in that one. The dialog and the title are the same
    in both, so only the figure can differ. Returns (pixel count, bounding box) for each."""
    w, hgt, a = first
    _, _, b = second
    bg = bytes(BACKGROUND)
    boxes = []
    for mine in (a, b):
        n, x0, y0, x1, y1 = 0, w, hgt, -1, -1
        for y in range(hgt):
            row = y * w * 3
            for x in range(w):
                i = row + x * 3
                if a[i:i + 3] != b[i:i + 3] and mine[i:i + 3] != bg:
                    n += 1
                    x0, y0, x1, y1 = min(x0, x), min(y0, y), max(x1, x), max(y1, y)
        boxes.append((n, (x0, y0, x1, y1)))
    return boxes


def fresh_artefacts(case):
    """Removes the screenshots of an earlier run of this test: the artefact directory lives on."""
    d = os.path.dirname(case.artefact("x"))
    for f in os.listdir(d):
        if f.endswith(".png"):
            os.remove(os.path.join(d, f))


def shots(case, name):
    """The screenshots that a run took, in order, by the names its scenario gave."""
    d = os.path.dirname(case.artefact("x"))
    pattern = re.compile(r"-%s-\d+\.png$" % re.escape(name))
    return sorted(os.path.join(d, f) for f in os.listdir(d) if pattern.search(f))


def series(name, n=SHOTS):
    """Scenario steps for n screenshots a second apart."""
    return "\n".join("sleep 1000\nscreenshot %s-%d" % (name, i) for i in range(n))


def yellow_area(img):
    """The bounding box of the background colour: the main window's client area."""
    w, hgt, data = img
    bg = bytes(BACKGROUND)
    x0, y0, x1, y1, n = w, hgt, -1, -1, 0
    for y in range(hgt):
        for x in range(w):
            i = (y * w + x) * 3
            if data[i:i + 3] == bg:
                n += 1
                x0, y0, x1, y1 = min(x0, x), min(y0, y), max(x1, x), max(y1, y)
    return n, (x0, y0, x1, y1)


def check_moving(paths, where):
    """Among screenshots a second apart, some pair shows the figure in both and in different
    places. The figure can be out of sight for a while (its hidden count above the number of
    its triangles), so one pair alone would not be a fair test."""
    images = [load(p) for p in paths]
    seen = []
    for (pa, a), (pb, b) in zip(zip(paths, images), zip(paths[1:], images[1:])):
        assert (a[0], a[1]) == (b[0], b[1]), "screenshot sizes differ"
        (n1, box1), (n2, box2) = moved_figure(a, b)
        seen.append((os.path.basename(pa), os.path.basename(pb), n1, box1, n2, box2))
        if n1 >= 20 and n2 >= 20 and box1 != box2:
            return seen[-1]
    raise AssertionError("%s: no pair of screenshots a second apart shows the figure in two places; "
                         "(first, second, figure pixels and bounding box in each): %r" % (where, seen))


@h.timeout(600)
def test_background_title_and_figure_behind_the_confirmation(case):
    setup = case.need(h.win_file("install.exe"))
    fresh_artefacts(case)
    pfx = case.prefix()
    with own_display(case):
        pfx.run(setup, scenario='expect text="%s"\n%s\npress 2\nend\n' % (QUESTION, series("confirm")))
    paths = shots(case, "confirm")
    assert len(paths) == SHOTS, "screenshots: got %r" % paths
    img = load(paths[0])
    n, (x0, y0, x1, y1) = yellow_area(img)
    assert x1 - x0 >= 400 and y1 - y0 >= 300, "pale-yellow area: %r (%s)" % ((x0, y0, x1, y1), paths[0])
    area = (x1 - x0 + 1) * (y1 - y0 + 1)
    assert n >= area * 6 // 10, "pale-yellow pixels: %d of the %d of the client area %r (%s)" % (
        n, area, (x0, y0, x1, y1), paths[0])
    red = count(img, TITLE_RED, range(x0, x0 + 60))
    assert red >= 20, "red title pixels within 60 pixels of the left edge: got %d (%s)" % (red, paths[0])
    # The title rises to the right: its red reaches higher a little further right.
    left_rows = [y for y in range(y0, y1) for x in range(x0, x0 + 20) if pixel(img, x, y) == TITLE_RED]
    right_rows = [y for y in range(y0, y1) for x in range(x0 + 150, x0 + 200) if pixel(img, x, y) == TITLE_RED]
    assert left_rows and right_rows, "title pixels near the left edge (%d) and 150 pixels right of it (%d)" % (
        len(left_rows), len(right_rows))
    assert min(right_rows) < min(left_rows), "the title does not rise: top row %d at the left edge, %d further right" % (
        min(left_rows), min(right_rows))
    check_moving(paths, "behind the confirmation box")


@h.timeout(600)
def test_animation_goes_on_behind_the_licence_dialog(case):
    setup = case.need(h.win_file("install.exe"))
    fresh_artefacts(case)
    pfx = case.prefix()
    with own_display(case):
        pfx.run(setup, scenario='expect text="%s"\npress 1\nexpect caption="Software Licence Agreement"\n%s\n'
                                'press 2\nexpect text="Installation cancelled"\npress 1\nend\n' % (
                                    QUESTION, series("licence")))
    paths = shots(case, "licence")
    assert len(paths) == SHOTS, "screenshots: got %r" % paths
    check_moving(paths, "behind the licence dialog")
