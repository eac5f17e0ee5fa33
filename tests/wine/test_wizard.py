"""The wizard under Wine: the real updater's four pages drawn from a UI design
of the test's own (sizes, background colours, images, plain and link texts,
template texts, hidden parts), its buttons clicked with the X pointer, its
cancel question, hiding to the tray, and the skinned controls driven directly
by tests/winprobes/wizard_probe.exe.

Pixels are checked at chosen points or counted inside chosen rectangles of
screenshots; the rectangles come from the design, placed at the window's
client origin that the probe reports."""
import struct
import subprocess
import time
import zipfile
from pathlib import Path

import pytest

TITLE = "Wizard Under Test"
CANCEL_BOX = ("Information", "Do you want to cancel this upgrade?")
SHOW_MAIN_WINDOW = 32771
VK_ESCAPE = 27
NEXT, EXIT = 1018, 1020


def colorref(r, g, b):
    return r | g << 8 | b << 16


BG = [(240, 230, 200), (200, 230, 250), (220, 250, 220), (250, 220, 220)]
SIZE = [(420, 320), (460, 340), (380, 260), (400, 300)]
RED_IMAGE, BLUE_IMAGE = (200, 0, 0), (0, 0, 200)
TEXT_COLOR = (180, 0, 180)
LINK_NORMAL, LINK_HOVER = (0, 150, 0), (230, 100, 0)
HIDDEN_COLOR = (0, 200, 200)

# Rectangles of the design (x, y, w, h in client coordinates).
PLAIN_RECT = (10, 10, 300, 40)
LINK_RECT = (10, 110, 200, 34)
HIDDEN_RECT = (10, 160, 200, 30)
LIST0_RECT = (220, 60, 190, 100)
LIST1_RECT = (10, 10, 440, 100)


def bmp24(width, height, color):
    """A bottom-up 24-bit BMP of one colour."""
    stride = (width * 3 + 3) // 4 * 4
    row = bytes(reversed(color)) * width
    data = (row + b"\0" * (stride - len(row))) * height
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54) + info + data


def rect(r):
    return "rect=%d,%d,%d,%d" % r


def attr(n, show=1):
    return "show=%d;;clrbk=%d;;rect=0,0,%d,%d" % (show, colorref(*BG[n]), *SIZE[n])


def image(show, r, entry):
    return "show=%d;;clrtp=0;;%s;;bmpfile=%s" % (show, rect(r), entry)


def text(show, r, words, color=(0, 0, 0), url="", normal=(0, 0, 0), hover=(0, 0, 0),
         size=0, weight=0, hov_underline=0):
    return ("show=%d;;clrtext=%d;;clrnormal=%d;;clrHover=%d;;nor_underline=0;;hov_underline=%d;;"
            "fontsize=%d;;fontweight=%d;;fontitalic=0;;fontunderline=0;;%s;;text=%s;;url=%s" % (
                show, colorref(*color), colorref(*normal), colorref(*hover), hov_underline, size,
                weight, rect(r), words, url))


def button(r, caption):
    return "show=1;;%s;;text=%s" % (rect(r), caption)


def place(show, r):
    return "show=%d;;%s" % (show, rect(r))


def design(window0_shown=1):
    """The test's UI configuration: every window its own size and colour."""
    w = {n: {} for n in range(4)}
    w[0] = {
        "attr": attr(0, window0_shown),
        "image0": image(1, (10, 200, 120, 60), r"res\red.bmp"),
        "image1": image(1, (70, 230, 120, 60), r"res\blue.bmp"),
        "static0": text(1, PLAIN_RECT, "MMMM", color=TEXT_COLOR, size=36, weight=700),
        "static1": text(1, LINK_RECT, "WWWW", url="http://127.0.0.1:9/", normal=LINK_NORMAL,
                        hover=LINK_HOVER, size=28, weight=700, hov_underline=1),
        # No rectangle: the template's text "static3" stays where it was.
        "static2": text(1, (0, 0, 0, 0), "NOT SHOWN", color=HIDDEN_COLOR),
        "static3": text(0, HIDDEN_RECT, "HIDDEN", color=HIDDEN_COLOR, size=28, weight=700),
        "button0": button((250, 285, 70, 26), "&Next"),
        "button1": button((330, 285, 70, 26), "E&xit"),
        "list": place(1, LIST0_RECT),
    }
    w[1] = {
        "attr": attr(1),
        "static0": text(1, (10, 270, 200, 20), "Downloading"),
        "list": place(1, LIST1_RECT),
        "progress0": place(1, (10, 120, 440, 16)),
        "progress1": place(1, (10, 140, 440, 16)),
        "status0": place(1, (10, 160, 300, 18)),
        "status1": place(1, (320, 160, 130, 18)),
        "rich_edit": place(1, (10, 185, 440, 80)),
        "button0": button((280, 305, 80, 26), "&Continue"),
        "button1": button((370, 305, 80, 26), "E&xit"),
    }
    w[2] = {
        "attr": attr(2),
        # A loaded image whose show flag is 0 is not drawn.
        "image0": image(0, (10, 10, 100, 100), r"res\red.bmp"),
        "image1": image(1, (200, 10, 100, 100), r"res\blue.bmp"),
        "button0": button((200, 225, 70, 26), "&Next"),
        "button1": button((290, 225, 70, 26), "E&xit"),
    }
    w[3] = {
        "attr": attr(3),
        "progress0": place(1, (10, 10, 380, 16)),
        "status0": place(1, (10, 30, 380, 18)),
        "rich_edit": place(1, (10, 60, 380, 150)),
        "button1": button((310, 265, 80, 26), "E&xit"),
    }
    lines = ["[UI]", "title=" + TITLE, "copyright=Tester", "myurl=http://example.invalid/"]
    for n in range(4):
        lines.append("[win%d]" % n)
        lines += ["%s=%s" % kv for kv in w[n].items()]
    return "\r\n".join(lines) + "\r\n"


def write_ui_bin(folder, window0_shown=1):
    with zipfile.ZipFile(folder / "ui.bin", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("ui.dat", design(window0_shown))
        z.writestr(r"res\red.bmp", bmp24(4, 4, RED_IMAGE))
        z.writestr(r"res\blue.bmp", bmp24(4, 4, BLUE_IMAGE))


# --- Looking at the screen ---------------------------------------------------

class Screen:
    """Screenshots of the wizard's client area and pixel checks in client
    coordinates."""

    def __init__(self, wine, probe_exe, tmp_path):
        self.wine, self.probe_exe, self.tmp = wine, probe_exe, tmp_path
        self.origin = (0, 0)
        self.shots = 0

    def probe(self, *args, timeout=30):
        # Output through a file: a helper process that Wine starts on the way
        # may inherit a pipe and hold it open long after the probe ended.
        out_path = self.tmp / "probe.txt"
        with open(out_path, "w") as out_file:
            subprocess.run([self.wine.loader, str(self.probe_exe), *args], env=self.wine.env,
                           stdout=out_file, stderr=subprocess.DEVNULL, timeout=timeout)
        out = out_path.read_text(errors="replace")
        facts = {}
        for line in out.splitlines():
            key, _, value = line.partition(" ")
            facts[key] = value
        return facts

    def state(self, command="state", *extra):
        facts = self.probe(command, TITLE, *extra)
        assert "MISSING" not in facts, f"no window {TITLE!r}"
        x, y, w, h = (int(v) for v in facts["CLIENT"].split())
        self.origin = (x, y)
        return {"visible": facts["VISIBLE"] == "1", "size": (w, h), "page": int(facts["PAGE"]),
                "forward": facts["FORWARD"] == "1", "exit": facts["EXIT"] == "1",
                "box": facts.get("BOX") == "1"}

    def wait_page(self, page, timeout=15):
        deadline = time.monotonic() + timeout
        while True:
            st = self.state("wait", "10000")
            if st["page"] == page and st["visible"]:
                return st
            assert time.monotonic() < deadline, f"page {page} did not appear: {st}"
            time.sleep(0.2)

    def wait_until(self, key, value=True, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            st = self.state()
            if st[key] == value:
                return st
            assert time.monotonic() < deadline, f"{key} never became {value}: {st}"
            time.sleep(0.3)

    def shot(self):
        self.shots += 1
        path = self.tmp / f"shot{self.shots}.png"
        time.sleep(0.3)  # let the last paint reach the X server
        return self.wine.screenshot(path)

    def pixel(self, png, x, y):
        return self.wine.pixel(png, self.origin[0] + x, self.origin[1] + y)

    def count(self, png, r, color, tolerance=0):
        """Pixels of `color` inside client rectangle r = (x, y, w, h)."""
        x, y, w, h = r
        ppm = subprocess.run(
            ["convert", str(png), "-crop", "%dx%d+%d+%d" % (w, h, self.origin[0] + x, self.origin[1] + y),
             "+repage", "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        parts = ppm.split(maxsplit=4)  # P6, width, height, maxval, data
        data = parts[4]
        return sum(1 for i in range(0, len(data) - 2, 3)
                   if all(abs(data[i + k] - color[k]) <= tolerance for k in range(3)))

    def pointer(self, x, y):
        subprocess.run(["xdotool", "mousemove", str(self.origin[0] + x), str(self.origin[1] + y)],
                       env=self.wine.env, check=True)
        time.sleep(0.4)

    def click(self, x, y):
        self.pointer(x, y)
        subprocess.run(["xdotool", "click", "1"], env=self.wine.env, check=True)
        time.sleep(0.3)


def center(r):
    return (r[0] + r[2] // 2, r[1] + r[3] // 2)


@pytest.fixture
def screen(wine, probe, tmp_path):
    screen = Screen(wine, probe("wizard_probe"), tmp_path)
    yield screen
    # A test that failed halfway leaves its wizard up; it must not stand in
    # for the next test's (same caption) nor hold the installation's mutex.
    for _ in range(3):
        if "ENDED" not in screen.probe("end", TITLE):
            break
        time.sleep(0.5)


def icon_frames(wine, samples=6, interval=0.1):
    """How many different window icons X saw in `samples` looks (Wine hands
    the window's large icon to X as _NET_WM_ICON)."""
    window = subprocess.run(["xdotool", "search", "--name", TITLE], env=wine.env,
                            capture_output=True, text=True).stdout.split()[0]
    seen = set()
    for _ in range(samples):
        seen.add(subprocess.run(["xprop", "-id", window, "_NET_WM_ICON"], env=wine.env,
                                capture_output=True).stdout)
        time.sleep(interval)
    return len(seen)


PAGE0_NEXT, PAGE0_EXIT = (250, 285, 70, 26), (330, 285, 70, 26)
PAGE1_CONTINUE, PAGE1_EXIT = (280, 305, 80, 26), (370, 305, 80, 26)
PAGE2_NEXT = (200, 225, 70, 26)
PAGE3_EXIT = (310, 265, 80, 26)
# Where the first page template puts its body text "static3" (kept because
# the design gives static2 no rectangle).
TEMPLATE_TEXT_AREA = (5, 60, 120, 24)


def test_preview_shows_every_page_as_designed(install_dir, run_updater, screen, wine):
    write_ui_bin(install_dir)
    running = run_updater(install_dir, args="/OP:Preview /Tray /HWND:{hwnd}", background=True)

    st = screen.wait_page(0)
    assert st["size"] == SIZE[0]
    png = screen.shot()
    assert screen.pixel(png, 380, 200) == BG[0]
    assert screen.pixel(png, 30, 265) == BG[0]
    # Image 0 alone, image 1 over image 0 where they overlap, image 1 alone.
    assert screen.pixel(png, 30, 215) == RED_IMAGE
    assert screen.pixel(png, 100, 245) == BLUE_IMAGE
    assert screen.pixel(png, 170, 280) == BLUE_IMAGE
    assert screen.count(png, PLAIN_RECT, TEXT_COLOR) > 100
    normal = screen.count(png, LINK_RECT, LINK_NORMAL)
    assert normal > 100 and screen.count(png, LINK_RECT, LINK_HOVER) == 0
    assert screen.count(png, TEMPLATE_TEXT_AREA, (0, 0, 0)) > 20
    # Neither the hidden static nor the one without a rectangle shows its colour.
    assert screen.count(png, (0, 0) + SIZE[0], HIDDEN_COLOR) == 0
    assert icon_frames(wine) == 1

    # The link takes its hover colour and its underline under the pointer...
    screen.pointer(*center(LINK_RECT))
    png = screen.shot()
    hover = screen.count(png, LINK_RECT, LINK_HOVER)
    assert screen.count(png, LINK_RECT, LINK_NORMAL) == 0 and hover > normal + 40
    # ...and gives both back when the pointer leaves.
    screen.pointer(380, 200)
    png = screen.shot()
    assert screen.count(png, LINK_RECT, LINK_NORMAL) == normal
    assert screen.count(png, LINK_RECT, LINK_HOVER) == 0

    # Escape does nothing; minimising hides to the tray, the tray's
    # "&Show main window" brings the wizard back.
    st = screen.state("key", str(VK_ESCAPE))
    assert st["visible"] and st["page"] == 0
    assert not screen.state("sysmin")["visible"]
    st = screen.state("command", str(SHOW_MAIN_WINDOW))
    assert st["visible"] and st["page"] == 0

    screen.click(*center(PAGE0_NEXT))
    st = screen.wait_page(1)
    assert st["size"] == SIZE[1] and not st["forward"]
    assert icon_frames(wine) > 1  # the icon animates while the download page is up
    st = screen.wait_until("forward")
    png = screen.shot()
    assert screen.pixel(png, 5, 5) == BG[1]
    assert screen.pixel(png, 200, 225) == (250, 250, 250)  # the details box
    bar = screen.pixel(png, 220, 148)  # the full overall bar
    assert bar != BG[1]
    # The row "Example file" ends with a full progress cell.
    assert screen.count(png, LIST1_RECT, bar) > 500

    screen.click(*center(PAGE1_CONTINUE))
    st = screen.wait_page(2)
    assert st["size"] == SIZE[2]
    png = screen.shot()
    assert screen.pixel(png, 250, 60) == BLUE_IMAGE
    assert screen.pixel(png, 60, 60) == BG[2]  # image 0 is loaded but not shown

    screen.click(*center(PAGE2_NEXT))
    st = screen.wait_page(3)
    assert st["size"] == SIZE[3] and not st["exit"]
    # Closing is not offered while the update runs.
    st = screen.state("close")
    assert st["page"] == 3 and not st["box"]
    screen.wait_until("exit")
    png = screen.shot()
    assert screen.pixel(png, 200, 240) == BG[3]
    screen.click(*center(PAGE3_EXIT))

    run = running.wait()
    assert run.exited
    assert run.messages == [] and run.boxes == []


def test_hidden_first_window_and_the_cancel_question_in_a_preview(install_dir, run_updater,
                                                                  screen):
    write_ui_bin(install_dir, window0_shown=0)
    running = run_updater(install_dir, args="/OP:Preview /HWND:{hwnd}",
                          answers=("no", "no", "yes"), background=True)
    # Window 0 is hidden: the first page to appear is the download page.
    st = screen.wait_page(1)
    assert st["size"] == SIZE[1]
    # Closing the window and the exit button ask; "No" stays on the page.
    screen.state("close")
    st = screen.wait_until("box", False)
    assert st["visible"] and st["page"] == 1
    screen.click(*center(PAGE1_EXIT))
    time.sleep(0.5)
    st = screen.wait_until("box", False)
    assert st["visible"] and st["page"] == 1
    # Away and back, so that the second click on the button is not taken as
    # the second half of a double click.
    screen.pointer(0, 0)
    time.sleep(0.6)
    screen.click(*center(PAGE1_EXIT))
    run = running.wait()
    assert run.exited
    assert run.boxes == [CANCEL_BOX] * 3
    assert run.messages == []  # a preview tells the host nothing
    assert run.log() == ""


SERVER = """[file0]
ver=1.1
urls=url0=http://127.0.0.1:9/files/app.exe
describe=Main program
[dir0]
ver=2.0
urls=url0=http://127.0.0.1:9/files/data
path={parent}\\data
describe=Samples
[UI]
start_win=0
"""


def crlf(text):
    return text.replace("\n", "\r\n").encode()


def test_cancel_on_the_first_page_posts_minus_one_and_logs(install_dir, run_updater, screen,
                                                           http_server):
    (http_server.root / "server.ini").write_bytes(crlf(SERVER))
    (install_dir / "update.dat").write_bytes(crlf(
        "[system]\ncloselog=0\nurls=url0=" + http_server.url("server.ini") +
        "\n[file0]\nver=1.0\n[dir0]\nver=1.0\n"))
    write_ui_bin(install_dir)
    running = run_updater(install_dir, args="/HWND:{hwnd} /log", answers=("no", "yes"),
                          background=True)
    screen.wait_page(0)
    png = screen.shot()
    # Two rows, the new file and the new folder; the third row stays empty.
    list_x, list_y, list_w, _ = LIST0_RECT
    rows = [screen.count(png, (list_x + 2, list_y + 26 + 21 * i, list_w - 4, 12), (0, 0, 0))
            for i in range(3)]
    assert rows[0] > 20 and rows[1] > 20 and rows[2] == 0, rows

    screen.click(*center(PAGE0_EXIT))
    time.sleep(0.5)
    st = screen.wait_until("box", False)
    assert st["visible"] and st["page"] == 0
    screen.click(*center(PAGE0_EXIT))
    run = running.wait()
    assert run.exited
    assert run.boxes == [CANCEL_BOX] * 2
    assert run.results == [3, -1]
    lines = run.log_lines()
    cancel = lines.index('Send the message(-1) "Upgrade not completed" to the host program.')
    assert lines[cancel + 1] == "Upgrade failure or forced out of the upgrade process."


def test_progress_cells_and_label_backgrounds(wine, probe, tmp_path):
    proc = wine.popen(probe("wizard_probe"), ["controls", "20"], stdout=subprocess.PIPE,
                      stderr=subprocess.DEVNULL, text=True)
    try:
        facts = {}
        for line in proc.stdout:
            key, _, value = line.strip().partition(" ")
            if key == "READY":
                break
            facts[key] = [int(v) for v in value.split()]
        assert facts["PROGRESS"] == [50, 0, 100]
        png = wine.screenshot(tmp_path / "controls.png")
        px = lambda x, y: wine.pixel(png, x, y)
        bar, border, grey = tuple(facts["BAR"]), tuple(facts["BORDER"]), (224, 224, 224)

        def inner(cell):  # the drawn cell: 5 pixels lower, 1 right, 1 shorter
            x, y, w, h = facts[cell]
            return x + 1, y + 5, w - 1, h - 6

        x, y, w, h = inner("CELL0")  # 50 percent
        bar_right = x + (w - 1) * 50 // 100
        assert px(x, y + 3) == border
        # Left and right of the centred text "50%".
        assert px(x + w // 8, y + 3) == bar and px(x + w * 3 // 8, y + 3) == bar
        assert px(x + w * 5 // 8, y + 3) == grey and px(x + w * 7 // 8, y + 3) == grey
        screen = Screen(wine, None, tmp_path)
        # "50%": the part over the bar in the highlighted-text colour, the rest
        # in the list's text colour.
        left_half = (bar_right - 25, y + 1, 25, h - 2)
        right_half = (bar_right, y + 1, 25, h - 2)
        assert screen.count(png, left_half, (255, 255, 255)) > 5
        assert screen.count(png, left_half, (0, 0, 0)) == 0
        assert screen.count(png, right_half, (0, 0, 0)) > 5

        x, y, w, h = inner("CELL1")  # 0 percent: grey and frame, no text
        assert px(x + w // 2, y + h // 2) == grey and px(x, y + 3) == border
        assert screen.count(png, (x + 1, y + 1, w - 2, h - 2), grey) == (w - 2) * (h - 2)

        x, y, w, h = inner("CELL2")  # 100 percent
        assert px(x + w // 8, y + 3) == bar and px(x + w * 7 // 8, y + 3) == bar

        gx, gy, gw, gh = facts["GRADIENT"]
        left, middle, right = px(gx + 1, gy + gh // 2), px(gx + gw // 2, gy + gh // 2), \
            px(gx + gw - 2, gy + gh // 2)
        assert left[0] > 240 and left[2] < 15
        assert right[2] > 240 and right[0] < 15
        assert 60 < middle[0] < 200 and 60 < middle[2] < 200
        tx, ty, tw, th = facts["TRANSPARENT"]
        assert px(tx + tw // 2, ty + th // 2) == (30, 120, 60)  # the parent shows through
        sx, sy, sw, sh = facts["SOLID"]
        assert px(sx + sw // 2, sy + sh // 2) == (250, 220, 0)
    finally:
        proc.kill()
        proc.wait()
