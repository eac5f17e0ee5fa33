"""The sample host application (samples/host/) installed and served as the
demo does it, and a driver for its window and the updater's boxes through
window_probe.exe. Used by the sample host test and by tools/demo.py."""
import hashlib
import re
import shutil
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SAMPLES = REPO / "samples" / "demo"

# Control identifiers of samples/host/sample_app_ids.h.
VERSION, CHECK, STATUS, FILE_BAR, ALL_BAR, BYTES = 1001, 1002, 1003, 1004, 1005, 1006


def sample_exe(tree, version):
    """SampleApp.exe of the given version ("1.0" or "1.1") in a Windows build tree."""
    return Path(tree) / f"sample-{version}" / "SampleApp.exe"


def install_sample(app_dir, tree, port):
    """Lays out the installed Sample App 1.0: SampleApp.exe and readme.txt,
    with update.exe, its update.dat (pointing at the server on `port`) and
    the sample wizard design ui.dat in the "updateApp" subfolder. Returns the
    updater's folder."""
    app_dir = Path(app_dir)
    shutil.rmtree(app_dir, ignore_errors=True)
    updater = app_dir / "updateApp"
    updater.mkdir(parents=True)
    shutil.copy2(sample_exe(tree, "1.0"), app_dir / "SampleApp.exe")
    shutil.copy2(SAMPLES / "app" / "readme.txt", app_dir / "readme.txt")
    shutil.copy2(Path(tree) / "update.exe", updater / "update.exe")
    shutil.copy2(REPO / "samples" / "ui" / "ui.dat", updater / "ui.dat")
    text = (SAMPLES / "app" / "update.dat").read_text().replace("{port}", str(port))
    (updater / "update.dat").write_bytes(text.replace("\n", "\r\n").encode())
    return updater


def serve_sample(server_root, tree, port, edit=None):
    """Fills the server folder: Sample App 1.1 and its release notes under
    files/, and update.ini with the port and the files' MD5 digests filled in.
    `edit` may change the configuration text first. Returns that text."""
    server_root = Path(server_root)
    shutil.copytree(SAMPLES / "server", server_root, dirs_exist_ok=True)
    shutil.copy2(sample_exe(tree, "1.1"), server_root / "files" / "SampleApp.exe")
    text = (SAMPLES / "server" / "update.ini").read_text().replace("{port}", str(port))
    text = re.sub(r"\{md5:([^}]+)\}",
                  lambda m: hashlib.md5((server_root / "files" / m.group(1)).read_bytes()).hexdigest(),
                  text)
    if edit:
        text = edit(text)
    (server_root / "update.ini").write_bytes(text.replace("\n", "\r\n").encode())
    return text


class WindowState:
    """One look at a window through window_probe.exe's "state"."""

    def __init__(self, lines):
        self.title = None
        self.client = None
        self.texts, self.bars, self.enabled = {}, {}, {}
        for line in lines:
            key, _, rest = line.partition(" ")
            if key == "TITLE":
                self.title = rest
            elif key == "CLIENT":
                self.client = tuple(int(v) for v in rest.split())
            elif key == "TEXT":
                ident, _, text = rest.partition(" ")
                self.texts[int(ident)] = text
            elif key == "BAR":
                ident, position, maximum = rest.split()
                self.bars[int(ident)] = (int(position), int(maximum))
            elif key == "ENABLED":
                ident, flag = rest.split()
                self.enabled[int(ident)] = flag == "1"


class WindowProbe:
    def __init__(self, wine, exe):
        self.wine = wine
        self.exe = Path(exe)

    def _lines(self, *args, timeout=90):
        out = self.wine.run(self.exe, args, timeout=timeout).stdout
        return [l.strip() for l in out.replace("\r", "").splitlines() if l.strip()]

    def state(self, title, wait_ms=0):
        lines = self._lines("wait", title, wait_ms) if wait_ms else self._lines("state", title)
        return None if not lines or lines[0] == "NONE" else WindowState(lines)

    def click(self, title, ident):
        return self._lines("click", title, ident) == ["CLICKED"]

    def close(self, title):
        return self._lines("close", title) == ["CLOSED"]

    def gone(self, title, wait_ms):
        return self._lines("gone", title, wait_ms) == ["GONE 1"]

    def answer(self, caption, button, wait_ms):
        """Presses `button` of a message box with that caption; returns its text or None."""
        lines = self._lines("answer", caption, button, wait_ms)
        return lines[0][4:] if lines and lines[0].startswith("BOX ") else None

    def wait_until(self, title, check, timeout):
        """Polls the window until `check(state)` holds; returns the last state."""
        deadline = time.monotonic() + timeout
        state = None
        while time.monotonic() < deadline:
            state = self.state(title)
            if state and check(state):
                return state
            time.sleep(0.3)
        return state
