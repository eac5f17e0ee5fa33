"""The UI configuration file, the skin bitmaps, the icon strip and the tray
icon under Wine: the real updater for finding and parsing "ui.bin"/"ui.dat"
and for "/Tray"; tests/winprobes/tray_probe.exe for the pieces the wizard
drives (animation, tooltip, commands, hide to tray, icon strip)."""
import re
import shutil
import struct
import subprocess
import time
import zipfile
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SAMPLE_UI = REPO / "samples" / "ui" / "ui.dat"
SAMPLE_LINE = "Copyright (C) Example Publisher https://www.example.com/"
NOT_FOUND = "Error: UI configuration file (ui.bin) not found."
BIN_ERROR = "Error: UI configuration file (ui.bin) parses error."
DAT_ERROR = "Error: UI configuration file (ui.dat) parses error."
SERVER = "[file0]\nver=1.1\nurls=url0=http://127.0.0.1:9/app.exe\n[UI]\nstart_win=0\n"
SHOW_MAIN_WINDOW = 32771


def crlf(text):
    return text.replace("\n", "\r\n").encode()


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):
        row = b"".join(bytes(reversed(pixel(x, y))) for x in range(width))
        rows.append(row + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54) + info + data


def strip_pixel(x, y):
    """Frames with a cyan (mask colour) border and a coloured centre."""
    frame, fx = divmod(x, 16)
    if 4 <= fx < 12 and 4 <= y < 12:
        return (20 * frame % 256, 100, 200)
    return (0, 255, 255)


# --- The UI configuration file, read by the real updater -------------------

@pytest.fixture
def installed(install_dir, http_server):
    """An installation whose check finds one new item (so the display style
    is Normal and boxes appear) and then reads the UI configuration file;
    returns the folder."""
    (http_server.root / "server.ini").write_bytes(crlf(SERVER))
    (install_dir / "update.dat").write_bytes(crlf(
        "[system]\ncloselog=0\nurls=url0=" + http_server.url("server.ini") + "\n[file0]\nver=1.0\n"))
    return install_dir


def check(run_updater, folder):
    return run_updater(folder, args="/OP:CheckVer /HWND:{hwnd} /log")


def boxes(run):
    return [body.strip("\n") for _, body in run.boxes]


def test_missing_ui_file_names_the_archive_and_ends_the_run(installed, run_updater):
    run = check(run_updater, installed)
    assert boxes(run) == [NOT_FOUND]
    assert run.boxes[0][0] == "Information"
    assert run.results == [-1]


def test_text_form_parses_and_logs_only_the_publisher_line(installed, run_updater):
    (installed / "ui.dat").write_bytes(SAMPLE_UI.read_bytes())
    run = check(run_updater, installed)
    assert run.boxes == []
    assert run.results == [3]
    lines = run.log_lines()
    assert lines.count(SAMPLE_LINE) == 1
    # The line comes between the check and the version comparison, and
    # nothing of the parse itself is logged.
    assert lines.index("Analysis of server-side configuration files.") < lines.index(SAMPLE_LINE)
    assert lines.index(SAMPLE_LINE) < lines.index("Version Comparison.")
    assert not [l for l in lines if "show=" in l or "Update Program Wizard" in l]


def test_unparsable_text_form_is_reported(installed, run_updater):
    (installed / "ui.dat").write_bytes(b"this is not a configuration\r\n")
    run = check(run_updater, installed)
    assert boxes(run) == [DAT_ERROR]
    assert run.results == [-1]


@pytest.mark.parametrize("archive", ["garbage", "without-entry"])
def test_broken_archive_is_an_error_even_beside_good_text(installed, run_updater, archive):
    (installed / "ui.dat").write_bytes(SAMPLE_UI.read_bytes())
    if archive == "garbage":
        (installed / "ui.bin").write_bytes(b"PK\x03\x04 not really a zip archive" * 10)
    else:
        with zipfile.ZipFile(installed / "ui.bin", "w") as z:
            z.writestr("other.dat", SAMPLE_UI.read_bytes())
    run = check(run_updater, installed)
    assert boxes(run) == [BIN_ERROR]
    assert run.results == [-1]
    assert SAMPLE_LINE not in run.log_lines()


def test_encrypted_archive_is_preferred_to_the_text_form(installed, run_updater, wine, probe, tmp_path):
    archived = SAMPLE_UI.read_bytes().replace(b"Example Publisher", b"Archived Publisher")
    (tmp_path / "ui.dat").write_bytes(archived)
    packed = run_probe(wine, probe("tray_probe"), ["pack", wine.winpath(installed / "ui.bin"), "ui.dat",
                                                   wine.winpath(tmp_path / "ui.dat")], tmp_path)
    assert "PACKED 1" in packed
    with zipfile.ZipFile(installed / "ui.bin") as z:
        assert z.getinfo("ui.dat").flag_bits & 1  # really encrypted
    (installed / "ui.dat").write_bytes(SAMPLE_UI.read_bytes())
    run = check(run_updater, installed)
    assert run.boxes == [] and run.results == [3]
    lines = run.log_lines()
    assert "Copyright (C) Archived Publisher https://www.example.com/" in lines
    assert SAMPLE_LINE not in lines


# --- Skin bitmaps and the icon strip, through the probe ---------------------

def run_probe(wine, exe, args, cwd, timeout=120):
    return wine.run(exe, args, cwd=cwd, timeout=timeout).stdout


def probe_lines(text):
    facts = {}
    for line in text.splitlines():
        key, _, value = line.partition(" ")
        facts[key] = value
    return facts


@pytest.fixture
def skin_folder(tmp_path, wine, probe):
    """A folder with a "ui.bin" (made with the archive password) holding a
    12-frame strip, a picture and a cut-short picture."""
    folder = tmp_path / "skin"
    folder.mkdir()
    (folder / "strip.bmp").write_bytes(bmp24(16 * 12, 16, strip_pixel))
    picture = bmp24(30, 20, lambda x, y: (200, 10, 30))
    (folder / "pic.bmp").write_bytes(picture)
    (folder / "cut.bmp").write_bytes(picture[:-5])
    packed = run_probe(wine, probe("tray_probe"), [
        "pack", "ui.bin", "res\\strip.bmp", "strip.bmp", "res\\pic.bmp", "pic.bmp",
        "res\\cut.bmp", "cut.bmp"], folder)
    assert "PACKED 1" in packed
    return folder


def log_lines(folder):
    path = folder / "update.log"
    text = path.read_text(errors="replace") if path.exists() else ""
    return [re.sub(r"^\d\d:\d\d:\d\d    ", "", l) for l in text.splitlines()]


def test_skin_bitmaps_load_only_when_present_and_sound(skin_folder, wine, probe):
    tray_probe = probe("tray_probe")
    good = probe_lines(run_probe(wine, tray_probe, ["bitmap", "res\\pic.bmp"], skin_folder))
    assert good["BITMAP"] == "30x20"
    assert good["PIXEL00"] == "200,10,30"
    for entry in ("res\\cut.bmp", "res\\gone.bmp"):
        assert probe_lines(run_probe(wine, tray_probe, ["bitmap", entry], skin_folder))["BITMAP"] == "none"
    lines = log_lines(skin_folder)
    # A damaged image is not a missing one: only the missing entry is logged.
    assert lines == ["Did not find image file: res\\gone.bmp"]


def test_strip_of_twelve_frames_gives_ten_icons_and_animates_them(skin_folder, wine, probe):
    facts = probe_lines(run_probe(wine, probe("tray_probe"), ["strip", "res\\strip.bmp:12"], skin_folder))
    assert facts["BUILT"] == "1"
    assert facts["FRAMES"] == "12"
    assert facts["ICONS"] == "10"
    assert facts["TRAY_LIST"] == "10"
    assert facts["TRAY_ICON_IS_FRAME0"] == "1"
    assert facts["STEPS"] == "1,2,3,4,5,6,7,8,9,0,1,2,"
    assert facts["ICON_CHANGED_EACH_STEP"] == "1"
    # Cyan is the mask colour of a publisher's strip.
    assert facts["MASK_CORNER"] == "1" and facts["MASK_CENTRE"] == "0"
    assert log_lines(skin_folder) == []


def test_sysicon_without_colon_is_a_configuration_error(skin_folder, wine, probe):
    facts = probe_lines(run_probe(wine, probe("tray_probe"), ["strip", "res\\strip.bmp"], skin_folder))
    assert facts["FRAMES"] == "0"  # the probe has no built-in strip to fall back on
    facts = probe_lines(run_probe(wine, probe("tray_probe"), ["strip", "res\\missing.bmp:4"], skin_folder))
    assert facts["FRAMES"] == "0"
    assert log_lines(skin_folder) == ["Configuration error:sys_icon",
                                      "Did not find image file: res\\missing.bmp"]


# --- The tray icon ----------------------------------------------------------

def test_tray_life_cycle(wine, probe, tmp_path):
    facts = probe_lines(run_probe(wine, probe("tray_probe"), ["tray"], tmp_path))
    expected = {
        "CREATE": "1", "ENABLED": "1", "HIDDEN": "1",
        # The hidden owner window is the tray's own, in this process.
        "OWNER_FOUND": "1", "OWNER_VISIBLE": "0", "OWNER_OURS": "1",
        "SHOW": "1", "VISIBLE": "1", "SHELL_KNOWS": "1",
        "TIP_SET": "1", "TIP": "Downloading app.exe", "TIP_LENGTH": "127",
        "TIP_BEFORE_PUMP": "Downloading app.exe", "TIP_FROM_WORKER": "From the worker",
        "ANIMATE_EMPTY": "0", "ANIMATE": "1", "STOP": "1", "RESTORED": "1",
        "ANIMATING_AFTER_DURATION": "0", "RESTORED_AFTER_DURATION": "1",
        # Left click: the default command, only for our identifier.
        "COMMANDS": f"{SHOW_MAIN_WINDOW},",
        # Task bar restart and work-area change put the icon back, unless hidden.
        "SHELL_KNOWS_AFTER_DELETE": "0", "SHELL_KNOWS_AFTER_TASKBAR": "1",
        "SHELL_KNOWS_HIDDEN_AFTER_TASKBAR": "0", "SHELL_KNOWS_AFTER_SHOW": "1",
        "SHELL_KNOWS_AFTER_WORKAREA": "1",
        # Hide to tray only with the tray on; show switches to Normal style.
        "HIDDEN_WITHOUT_TRAY_ON": "0", "MAIN_VISIBLE_AFTER_HIDE": "0", "PARKED": "1",
        "PARKING_VISIBLE": "0", "DEFAULT_ITEM": str(SHOW_MAIN_WINDOW), "SHOWN": "1",
        "MAIN_VISIBLE_AFTER_SHOW": "1", "MAIN_TOP_LEVEL": "1", "STYLE_NORMAL": "1",
        "SHOWN_AGAIN": "0", "SHELL_KNOWS_AFTER_REMOVE": "0",
    }
    assert {k: facts.get(k) for k in expected} == expected
    # The animation walks the list in order, wrapping to the first icon.
    assert facts["ANIMATION_ORDER"].startswith("12012")


class XScreen:
    """The X windows of the test display (Wine maps its windows there)."""

    LINE = re.compile(r'^\s*(0x[0-9a-f]+) (?:"([^"]*)"|\(has no name\)): \("([^"]*)" "[^"]*"\)\s+'
                      r'(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)')

    def __init__(self, wine):
        self.env = {"DISPLAY": wine.display, "PATH": "/usr/bin:/bin"}

    def windows(self):
        """(id, name, program, w, h, x, y) of every mapped window."""
        out = subprocess.run(["xwininfo", "-root", "-tree"], env=self.env, capture_output=True,
                             text=True, timeout=30).stdout
        found = []
        for line in out.splitlines():
            m = self.LINE.match(line)
            if not m:
                continue
            wid = m.group(1)
            state = subprocess.run(["xwininfo", "-id", wid], env=self.env, capture_output=True,
                                   text=True, timeout=30).stdout
            if "IsViewable" in state:
                found.append((wid, m.group(2) or "", m.group(3), int(m.group(4)), int(m.group(5)),
                              int(m.group(6)), int(m.group(7))))
        return found

    def tray(self):
        return next((w for w in self.windows() if w[1] == "Wine System Tray"), None)

    def wait_for(self, predicate, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            value = predicate()
            if value:
                return value
            time.sleep(0.3)
        return predicate()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env, timeout=30, check=True)


def tooltip_width(screen, program="explorer.exe"):
    """Width of the tooltip window the tray shows while the mouse rests on
    its first icon."""
    tray = screen.tray()
    assert tray, "no tray window"
    # Leave the icon inside the tray window, so that the tooltip control
    # sees the mouse go and come back.
    screen.xdotool("mousemove", str(tray[5] + tray[3] - 8), str(tray[6] + 10))
    time.sleep(0.8)
    screen.xdotool("mousemove", str(tray[5] + 9), str(tray[6] + 10))
    tip = screen.wait_for(lambda: next(
        (w for w in screen.windows() if w[2] == program and w[1] == "" and 8 < w[4] < 40 and w[3] > 8),
        None), seconds=6)
    assert tip, "no tooltip appeared"
    return tip[3]


def test_tooltip_follows_and_left_click_sends_the_default_command(wine, probe, tmp_path):
    screen = XScreen(wine)
    assert screen.wait_for(lambda: screen.tray() is None), "a tray icon of an earlier test is still up"
    out = tmp_path / "hold.txt"
    with open(out, "w") as sink:
        proc = wine.popen(probe("tray_probe"), ["hold", "16", "A", "Downloading a rather long file name.exe"],
                          cwd=tmp_path, stdout=sink, stderr=subprocess.DEVNULL)
    try:
        assert screen.wait_for(lambda: "READY 1" in out.read_text(), seconds=20)
        assert screen.wait_for(screen.tray), "the icon did not appear in the tray"
        short = tooltip_width(screen)
        assert screen.wait_for(lambda: "TIP Downloading" in out.read_text(), seconds=15)
        long = tooltip_width(screen)
        assert long > short + 60
        tray = screen.tray()
        screen.xdotool("mousemove", str(tray[5] + 9), str(tray[6] + 10), "click", "1")
        assert screen.wait_for(lambda: f"COMMAND {SHOW_MAIN_WINDOW}" in out.read_text(), seconds=5)
    finally:
        proc.wait(60)
    # With its owner gone the icon leaves the tray.
    assert screen.wait_for(lambda: screen.tray() is None)


def test_tray_switch_shows_the_icon_and_its_menu(install_dir, run_updater, wine):
    """Start-up creates the icon hidden; "/Tray" shows it. The run is held at
    its first message box (no local configuration) while the screen is read."""
    screen = XScreen(wine)
    assert screen.wait_for(lambda: screen.tray() is None), "a tray icon of an earlier test is still up"

    hidden = run_updater(install_dir, args="/HWND:{hwnd}", answers=("hold",), timeout=8, background=True)
    assert screen.wait_for(lambda: any(w[1] == "Information" for w in screen.windows()), seconds=20)
    time.sleep(1)
    assert screen.tray() is None, "the icon must stay hidden without /Tray"
    hidden.wait()

    shown = run_updater(install_dir, args="/HWND:{hwnd} /Tray", answers=("hold",), timeout=12,
                        background=True)
    try:
        tray = screen.wait_for(screen.tray, seconds=20)
        assert tray, "no tray icon with /Tray"
        before = {w[0] for w in screen.windows() if w[2] == "update.exe"}
        screen.xdotool("mousemove", str(tray[5] + 9), str(tray[6] + 10), "click", "3")
        menu = screen.wait_for(lambda: [w for w in screen.windows()
                                        if w[2] == "update.exe" and w[0] not in before and w[3] > 40
                                        and w[4] > 20], seconds=5)
        assert menu, "the tray menu did not open"
        screen.xdotool("key", "Escape")
    finally:
        run = shown.wait()
    assert [b.strip("\n") for _, b in run.boxes][:1] == [
        "Error: Local configuration file (update.dat) not found."]
    assert screen.wait_for(lambda: screen.tray() is None)


# --- The shipped binary sample ----------------------------------------------

SAMPLE_BIN = REPO / "samples" / "ui" / "ui.bin"


def test_sample_archive_drives_the_updater_and_its_images(installed, run_updater, wine, probe, tmp_path):
    """samples/ui/ui.bin is encrypted by an implementation of its own
    (samples/ui/make_ui_bin.py): the updater must read it, its 8-bit band
    must come out in its palette colours and its strip must give 4 frames."""
    shutil.copy2(SAMPLE_BIN, installed / "ui.bin")
    run = check(run_updater, installed)
    assert run.boxes == [] and run.results == [3]
    assert SAMPLE_LINE in run.log_lines()

    shutil.copy2(SAMPLE_BIN, tmp_path / "ui.bin")
    band = probe_lines(run_probe(wine, probe("tray_probe"), ["bitmap", "res\\band.bmp"], tmp_path))
    assert band["BITMAP"] == "500x8"
    assert band["PIXEL00"] == "20,80,200"  # palette entry 0 (blue 200, green 80, red 20)
    strip = probe_lines(run_probe(wine, probe("tray_probe"), ["strip", "res\\sysicon.bmp:4"], tmp_path))
    assert (strip["FRAMES"], strip["ICONS"], strip["MASK_CORNER"]) == ("4", "4", "1")
    assert log_lines(tmp_path) == []


# --- With the wizard ----------------------------------------------------------

def test_sysicon_without_colon_is_logged_by_the_wizard(installed, run_updater, http_server):
    """A hidden (Hide style) run still builds the wizard's icon strip."""
    (http_server.root / "server.ini").write_bytes(crlf(SERVER.replace("ver=1.1\n", "ver=1.1\nshow_type=2\n")))
    (installed / "ui.dat").write_bytes(SAMPLE_UI.read_bytes().replace(b"sysicon=", b"sysicon=res\\sysicon.bmp"))
    run = run_updater(installed, args="/HWND:{hwnd} /log", timeout=60)
    assert run.exited and run.boxes == []
    lines = run.log_lines()
    assert lines.count("Configuration error:sys_icon") == 1
    assert lines.index("Find new version.") < lines.index("Configuration error:sys_icon")


def test_minimised_wizard_comes_back_with_a_click_on_the_tray_icon(install_dir, run_updater, wine, tmp_path):
    screen = XScreen(wine)
    assert screen.wait_for(lambda: screen.tray() is None), "a tray icon of an earlier test is still up"
    shutil.copy2(SAMPLE_BIN, install_dir / "ui.bin")
    running = run_updater(install_dir, args="/OP:Preview /Tray", answers=("yes",), timeout=60,
                          background=True)
    try:
        window = screen.wait_for(lambda: next((w for w in screen.windows() if w[1] == "Software Update"
                                               and w[3] >= 400), None), seconds=30)
        assert window, "the wizard did not appear"
        x, y = window[5], window[6]

        def pixel(dx, dy):
            shot = wine.screenshot(tmp_path / "screen.png")
            return wine.pixel(shot, x + dx, y + dy)

        white = (255, 255, 255)
        assert screen.wait_for(lambda: pixel(250, 250) == white, seconds=10), "page 0 not drawn"
        r, g, b = pixel(5, 3)  # the sample's colour band: blue at its left end
        assert b > 150 and r < 60
        tray = screen.tray()
        assert tray, "no tray icon with /Tray"

        # Minimise through the window's own system menu.
        screen.xdotool("mousemove", str(x + 250), str(y + 250), "click", "1")
        screen.xdotool("key", "alt+space")
        time.sleep(1)
        screen.xdotool("key", "n")
        assert screen.wait_for(lambda: pixel(250, 250) != white, seconds=10), "not hidden to the tray"

        screen.xdotool("mousemove", str(tray[5] + 9), str(tray[6] + 10), "click", "1")
        assert screen.wait_for(lambda: pixel(250, 250) == white, seconds=10), "not shown from the tray"

        # Leave: "E&xit" (button1 of the sample at 400,360 80x26) and "yes".
        window = screen.wait_for(lambda: next((w for w in screen.windows() if w[1] == "Software Update"
                                               and w[3] >= 400), None), seconds=10)
        screen.xdotool("mousemove", str(window[5] + 440), str(window[6] + 373), "click", "1")
    finally:
        run = running.wait()
    assert run.exited
    assert [b.strip("\n") for _, b in run.boxes] == ["Do you want to cancel this upgrade?"]
    assert run.messages == []  # a preview tells the host nothing
