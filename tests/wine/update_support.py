"""Helpers of the update tests: an installation with its local file, the
server-side file built from item dictionaries, the Wine prefix's temporary
download folder, and what a folder holds byte for byte."""
import hashlib
import os
import shutil
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SAMPLE_UI = REPO / "samples" / "ui" / "ui.dat"
RESULT_OK = 'Send the message(1) "Upgrade successful" to the host program.'
RESULT_FAILED = 'Send the message(-1) "Upgrade not completed" to the host program.'
HIDE = {"show_type": 2, "op_mode": 1}


def crlf(text):
    return text.replace("\n", "\r\n").encode()


def md5(data):
    return hashlib.md5(data).hexdigest()


def payload(seed, size):
    """Deterministic bytes that do not compress to nothing."""
    out = bytearray()
    block = seed.encode()
    while len(out) < size:
        block = hashlib.sha256(block).digest()
        out += block
    return bytes(out[:size])


def ini(sections):
    """{"file0": {"ver": "1.1", ...}, ...} as INI text; list values are
    joined as packed URL lists."""
    lines = []
    for name, values in sections.items():
        lines.append("[%s]" % name)
        for key, value in values.items():
            if isinstance(value, (list, tuple)):
                value = ";;".join("url%d=%s" % (i, u) for i, u in enumerate(value))
            lines.append("%s=%s" % (key, value))
    return "\n".join(lines) + "\n"


def install(folder, config_url, versions, ui=SAMPLE_UI):
    """A logged installation: update.dat naming the server file, the
    installed versions ({"file0": "1.0", ...}) and the UI file."""
    shutil.copy2(ui, folder / "ui.dat")
    sections = {"system": {"closelog": 0, "urls": "url0=" + config_url}}
    sections.update({name: {"ver": ver} for name, ver in versions.items()})
    (folder / "update.dat").write_bytes(crlf(ini(sections)))


def local_versions(folder):
    current, versions = None, {}
    for line in (folder / "update.dat").read_text().splitlines():
        if line.startswith("["):
            current = line.strip("[]")
        elif line.startswith("ver=") and current:
            versions[current] = line[4:]
    return versions


def wine_temp_roots(wine):
    users = wine.prefix / "drive_c" / "users"
    return [p for p in users.glob("*/AppData/Local/Temp")] + [p for p in users.glob("*/Temp")]


def download_folders(wine):
    return [p / "~tovrel_tmp" for p in wine_temp_roots(wine) if (p / "~tovrel_tmp").exists()]


def clear_downloads(wine):
    """Earlier runs' downloads would be taken for this run's files."""
    for folder in download_folders(wine):
        shutil.rmtree(folder, ignore_errors=True)


def tree(root):
    """{relative path: bytes} of every file below root."""
    root = Path(root)
    return {str(p.relative_to(root)).replace(os.sep, "/"): p.read_bytes()
            for p in sorted(root.rglob("*")) if p.is_file()}


def backups(root):
    return sorted(str(p) for p in Path(root).rglob("*.ebk"))


def hook_script(folder, name, marker):
    """A batch file that appends its name to the marker file and leaves
    "<name>.done" beside it (two hooks started at once may both append at
    the same moment, and one line could be lost)."""
    path = Path(folder) / (name + ".bat")
    path.write_bytes(crlf("@echo %s>>\"%s\"\n@echo done>\"%s.done\"\n" % (name, marker, marker[:-4] + "-" + name)))
    return path


def hook_ran(marker, name, timeout=15):
    done = Path(str(marker)[:-4] + "-" + name + ".done")
    deadline = time.monotonic() + timeout
    while not done.exists() and time.monotonic() < deadline:
        time.sleep(0.2)
    return done.exists()


def wait_lines(path, count, timeout=15):
    """The marker file's lines once it has `count` of them (hooks are
    started, not waited for)."""
    deadline = time.monotonic() + timeout
    while True:
        lines = Path(path).read_text().split() if Path(path).exists() else []
        if len(lines) >= count or time.monotonic() > deadline:
            return lines
        time.sleep(0.2)
