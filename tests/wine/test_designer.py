"""The designer under Wine, driven through its real windows by the test
host's dialog driver: a project created, filled, saved, closed, reopened
from the recent list and saved as a copy; the recent list's limits; the
toolbar; the save question on Close; a screenshot of each page."""
import shutil
import subprocess
from pathlib import Path

import pytest

import winrig

REPO = Path(__file__).resolve().parents[2]
SHOTS = REPO / "docs" / "img"

BUTTONS = ["&New", "&Open", "&Save", "Save&As", "&Close"]


def enabled_states(buttons="BUTTONS"):
    return [f"enabled {b}" for b in BUTTONS]


@pytest.fixture
def designer(tmp_path, build_dir):
    folder = tmp_path / "designer"
    folder.mkdir()
    shutil.copy2(build_dir / "Corvane.exe", folder / "Corvane.exe")
    return folder


def test_designer_project_round_trip(wine, testhost, designer, tmp_path):
    projects = tmp_path / "projects"
    projects.mkdir()
    shots = tmp_path / "shots"
    shots.mkdir()
    w = wine.winpath
    script = [
        *enabled_states(),
        "click &New", "window Create A New Project",
        "click Cre&ate", "box ok",
        "type next:Project Name:\tdemo", "click Cre&ate", "box ok",
        f"type next:Path:\t{w(projects)}", "click Cre&ate",
        "window main", "title", *enabled_states(),
        # System page.
        "tab 0",
        "pick #1213\tftp://", "type #1214\t127.0.0.1/srv/update.ini",
        "type next:Username:\tu", "type next:Password:\tp", "click Add",
        "pick #1213\thttp://", "type #1214\th/update.ini", "click Add", "click Add", "box ok",
        "check Random selection\t1",
        "check Disable logging (Affecting command-line parameter:/Log)\t1",
        "list #1210",
        f"shot {w(shots / 'system.bmp')}",
        "key #1231\t40", "type next:Process name:\tapp.exe, helper.exe",
        # File page.
        "tab 1",
        "type #1301\t1.0", "type #1302\t1.1",
        "pick #1213\thttp://", "type #1214\th/files/app.zip", "click Add",
        "type next:Rename the update file as:\tapp.zip",
        "type #1304\t{appdriver}app",
        "check Decompress. (mainly for ZIP file)\t1",
        "pick #1311\t1: Automatic", "list #1312",
        "pick #1312\t1: Silent(Nothing can be seen except the prompt and error message)",
        "type #1313\tThe application",
        "pick #1300\t[file1]", "type #1301\t2.0",
        "list #1300",
        "pick #1300\t*[file0]",
        f"shot {w(shots / 'file.bmp')}",
        # Directory page.
        "tab 2",
        "pick #1213\tfile://", "type #1214\tC:/dirs/plugins", "click Add",
        "type #1308\t*.dll,*.txt", "check Including all subdirectories.\t1",
        "type #1302\t3.0",
        f"shot {w(shots / 'directory.bmp')}",
        "click &Save", *enabled_states(),
        "click &Close", "nobox", *enabled_states(), "title",
        "click &Open", "menu 1", "title", "tab 0", "list #1210",
        "type #1214\tchanged.example/update.ini", "enabled &Save",
        "click &Close", "box no",
        "click &Open", "menu 1",
        "type #1214\tsaved.example/update.ini",
        "click &Close", "box yes",
        "click &Open", "menu 1",
        "click Save&As", f"filedlg {w(projects / 'copy' / 'copy.epj')}", "title",
        "close", "waitexit",
    ]
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script)
    (tmp_path / "record.txt").write_text(run.record)
    for bmp in shots.glob("*.bmp"):
        subprocess.run(["convert", str(bmp), str(bmp.with_suffix(".png"))], check=True)
    print((projects / "demo" / "demo.epj").read_text())
    print((designer / "system" / "status.cfg").read_text())
    assert not run.errors
