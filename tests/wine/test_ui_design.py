"""The designer's "UI-Design" page under Wine, driven by the dialog driver
and the real mouse (xdotool): an image and a text dragged, a text resized by
its corner handle, a link and colours applied, the project saved and its
[win0] checked, the preview run of the updater compared pixel by pixel with
the design and with the page's own canvas, and a template saved and used by
a second project, which gets the same design."""
import os
import shutil
import struct
import subprocess
import threading
import time
from pathlib import Path

import winrig

REPO = Path(__file__).resolve().parents[2]
CANVAS = "#1500"
RED = (255, 0, 0)
LINK_GREEN = (0, 128, 0)
BACKGROUND = (200, 230, 255)
IMAGE_AT = (250, 350)  # where the image is dragged to, in design coordinates


def write_bmp(path, width, height, rgb):
    row = bytes(reversed(rgb)) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    path.write_bytes(header + info + pixels)


class Screen:
    """One screenshot as rows of RGB triples."""

    def __init__(self, wine, png):
        wine.screenshot(png)
        raw = subprocess.run(["convert", str(png), "-depth", "8", "rgb:-"], capture_output=True,
                             check=True).stdout
        self.width = 1280
        self.raw = raw

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.raw[i:i + 3])

    def box(self, color, area):
        """Bounding box (left, top, right, bottom) of `color` inside area."""
        left, top, right, bottom = area
        xs, ys = [], []
        for y in range(max(top, 0), min(bottom, 1024)):
            base = y * self.width * 3
            row = self.raw[base + left * 3:base + right * 3]
            target = bytes(color)
            start = row.find(target)
            while start != -1:
                if start % 3 == 0:
                    xs.append(left + start // 3)
                    ys.append(y)
                start = row.find(target, start + 1)
        if not xs:
            return None
        return (min(xs), min(ys), max(xs) + 1, max(ys) + 1)


class Mouse:
    def __init__(self, wine, origin):
        self.wine, self.origin = wine, origin

    def _do(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.wine.env, check=True)
        time.sleep(0.3)

    def click(self, x, y):
        self._do("mousemove", self.origin[0] + x, self.origin[1] + y)
        self._do("click", "1")

    def drag(self, start, end):
        ox, oy = self.origin
        self._do("mousemove", ox + start[0], oy + start[1])
        self._do("mousedown", "1")
        for step in (1, 2, 3):
            self._do("mousemove", ox + start[0] + (end[0] - start[0]) * step // 3,
                     oy + start[1] + (end[1] - start[1]) * step // 3)
        self._do("mouseup", "1")


def read_sections(path):
    sections, current = {}, None
    for line in Path(path).read_text(errors="replace").splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif current is not None and "=" in line:
            key, value = line.split("=", 1)
            current[key] = value
    return sections


def attrs(value):
    return dict(part.split("=", 1) for part in value.split(";;") if "=" in part)


def color_dialog(rgb):
    r, g, b = rgb
    return ["window Color", f"type #706\t{r}", f"type #707\t{g}", f"type #708\t{b}", "click #1", "window main"]


def test_ui_design_page(wine, testhost, build_dir, tmp_path):
    designer = tmp_path / "designer"
    (designer / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", designer / "Corvane.exe")
    projects = tmp_path / "projects"
    projects.mkdir()
    image = tmp_path / "red.bmp"
    write_bmp(image, 40, 30, RED)
    template = tmp_path / "proof.umb"
    go = [tmp_path / f"go{i}" for i in range(3)]
    w = wine.winpath

    def new_project(name):
        return ["click &New", "window Create A New Project", f"type next:Project Name:\t{name}",
                f"type next:Path:\t{w(projects)}", "click Cre&ate", "window main", "tab 3"]

    script = [
        *new_project("one"),
        f"where {CANVAS}", "check Image1\t1", f"waitfile {w(go[0])}",
        # The image is selected: its panel takes the file.
        f"type #1477\t{w(image)}", "click Apply", "click Original Size", f"waitfile {w(go[1])}",
        # The link text is selected.
        "type #1469\thttp://example.test/", "click #1472", *color_dialog(LINK_GREEN), "click Apply",
        f"waitfile {w(go[2])}",
        # The window itself is selected.
        "click #1481", *color_dialog(BACKGROUND), "click Apply",
        "type #1450\tUiDesignProof", "click &Save", f"shot {w(tmp_path / 'page.bmp')}",
        "click Preview (Assumed to be wizard-style)", "sleep 5000", f"waitfile {w(go[0])}2",
        "click Save as template", "window Create A New Template", "type #1490\tProof", "type #1491\tTester",
        "click &Next", f"filedlg {w(template)}", "window main",
        # A second project from the template.
        *new_project("two"),
        "click Select a template", f"filedlg {w(template)}", "window main", "text #1411", "text #1412",
        "click Use template", "click &Save", "close", "waitexit",
    ]
    script_path = tmp_path / "ui.txt"
    script_path.write_text("\n".join(script) + "\n")
    record = tmp_path / "ui.rec"
    proc = wine.popen(testhost, ["--drive", w(script_path), w(record), w(designer / "Corvane.exe")],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_for(marker, timeout=90):
        marker = marker.replace("\\", "\\\\")  # the record escapes backslashes
        until = time.time() + timeout
        while time.time() < until:
            text = record.read_text(errors="replace") if record.exists() else ""
            if marker in text:
                return text
            time.sleep(0.3)
        raise AssertionError(f"driver did not reach {marker}: {text}")

    try:
        text = wait_for(f"> waitfile {w(go[0])}")
        where = [l for l in text.splitlines() if l.startswith("WHERE")][0].split()[1:]
        canvas = tuple(int(v) for v in where)
        mouse = Mouse(wine, canvas[:2])
        mouse.click(440, 40)  # the image at its default place
        go[0].touch()
        wait_for(f"> waitfile {w(go[1])}")
        # The image (now 40 by 30 at 400,10) dragged; the title text dragged
        # down by 30; the long text's bottom-right handle pulled in.
        mouse.drag((420, 25), (IMAGE_AT[0] + 20, IMAGE_AT[1] + 15))
        mouse.drag((100, 25), (100, 55))
        mouse.click(200, 90)
        mouse.drag((480, 122), (400, 140))
        mouse.click(60, 374)  # the link
        go[1].touch()
        wait_for(f"> waitfile {w(go[2])}")
        on_canvas = Screen(wine, tmp_path / "canvas.png").box(RED, canvas)
        mouse.click(150, 352)  # the window's empty area
        # The updater the preview copies; placed only now so that the
        # designer's own update check at start-up stays out of the way.
        shutil.copy2(build_dir / "update.exe", designer / "updateApp" / "update.exe")
        go[2].touch()
        wait_for(f"> waitfile {w(go[0])}2")
        shot = Screen(wine, tmp_path / "preview.png")
        Path(str(go[0]) + "2").touch()
        proc.wait(timeout=240)
    finally:
        if proc.poll() is None:
            proc.kill()
    if os.environ.get("CORVANE_SHOTS"):
        subprocess.run(["convert", str(tmp_path / "page.bmp"), str(REPO / "docs" / "img" / "designer-ui.png")],
                       check=True)
    run = winrig.DriveRun(record)
    assert not run.errors, run.record
    assert run.results("TEXT") == ["Proof", "Tester"]

    one = read_sections(projects / "one" / "one.epj") if (projects / "one" / "one.epj").exists() \
        else read_sections(next(projects.glob("one*/*.epj")))
    win0 = one["win0"]
    assert attrs(win0["image0"])["rect"] == f"{IMAGE_AT[0]},{IMAGE_AT[1]},40,30"
    assert attrs(win0["image0"])["show"] == "1"
    # The picture typed from outside the project was copied into it, and the
    # project names it relative to its own folder.
    assert attrs(win0["image0"])["bmpfile"] == "images\\red.bmp"
    assert (projects / "one" / "images" / "red.bmp").read_bytes() == image.read_bytes()
    assert attrs(win0["static0"])["rect"] == "20,44,460,24"
    assert attrs(win0["static2"])["rect"] == "20,72,380,68"
    link = attrs(win0["static3"])
    assert link["url"] == "http://example.test/" and link["clrnormal"] == str(0x008000)
    assert attrs(win0["attr"])["clrbk"] == str(BACKGROUND[0] | BACKGROUND[1] << 8 | BACKGROUND[2] << 16)
    assert one["UI"]["title"] == "UiDesignProof"

    # The preview window: its client area is the background colour; the
    # image sits where the design puts it, as on the page's canvas.
    window = subprocess.run(["xdotool", "search", "--name", "UiDesignProof"], env=wine.env,
                            capture_output=True, text=True).stdout.split()
    assert window, "no preview window"
    geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window[0]], env=wine.env,
                              capture_output=True, text=True).stdout
    g = dict(l.split("=") for l in geometry.split())
    area = (int(g["X"]), int(g["Y"]), int(g["X"]) + int(g["WIDTH"]), int(g["Y"]) + int(g["HEIGHT"]))
    client = shot.box(BACKGROUND, area)
    assert client and client[2] - client[0] == 500, client
    red = shot.box(RED, area)
    assert red == (client[0] + IMAGE_AT[0], client[1] + IMAGE_AT[1],
                   client[0] + IMAGE_AT[0] + 40, client[1] + IMAGE_AT[1] + 30), (red, client)
    assert shot.box(LINK_GREEN, (client[0] + 20, client[1] + 360, client[0] + 240, client[1] + 390))
    assert on_canvas == (canvas[0] + IMAGE_AT[0], canvas[1] + IMAGE_AT[1],
                         canvas[0] + IMAGE_AT[0] + 40, canvas[1] + IMAGE_AT[1] + 30), on_canvas

    # The second project has the first one's design; only the image now
    # comes from the unpacked template.
    two = read_sections(next(projects.glob("two*/*.epj")))
    for n in range(4):
        first, second = dict(one[f"win{n}"]), dict(two[f"win{n}"])
        for section in (first, second):
            for key in ("image0", "image1"):
                parts = attrs(section[key])
                parts["bmpfile"] = Path(parts.get("bmpfile", "").replace("\\", "/")).stem
                section[key] = parts
        assert first == second, n
    assert two["UI"]["mbname"] == "Proof"
