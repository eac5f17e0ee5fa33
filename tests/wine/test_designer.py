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


def enabled_states():
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
        # Browse on the File page fills the address and an empty rename.
        "pick #1300\t[file2]", "pick #1213\tfile://", "click Browse",
        f"filedlg {w(projects / 'demo' / 'demo.epj')}", "text #1214", "text #1303",
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
        # An existing file is only taken when the question is answered Yes.
        "click Save&As", f"filedlg {w(projects / 'demo' / 'demo.epj')}", "box no", "title",
        "close", "waitexit",
    ]
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script)
    (tmp_path / "record.txt").write_text(run.record)
    assert not run.errors, run.record
    for bmp in shots.glob("*.bmp"):
        subprocess.run(["convert", str(bmp), str(bmp.with_suffix(".png"))], check=True)
    if SHOTS_WANTED:
        SHOTS.mkdir(parents=True, exist_ok=True)
        for png in shots.glob("*.png"):
            shutil.copy2(png, SHOTS / f"designer-{png.name}")

    states = run.results("ENABLED")
    # New, Open, Save, Save As, Close: no project; new (modified) project;
    # saved; closed again.
    assert states[0:5] == ["1", "1", "0", "0", "0"]
    assert states[5:10] == ["0", "0", "1", "1", "1"]
    assert states[10:15] == ["0", "0", "0", "1", "1"]
    assert states[15:20] == ["1", "1", "0", "0", "0"]
    assert states[20] == "1"  # typing after reopening enables Save
    assert run.boxes() == [
        ("Corvane", "Name can not be empty, can not contain characters not supported."),
        ("Corvane", "Path can not be empty."),
        ("Corvane", "Already exists in the list."),
        ("Corvane", "Save the changes to the project?"),
        ("Corvane", "Save the changes to the project?"),
        ("Corvane", f"File: {w(projects / 'demo' / 'demo.epj')} Has existed. Override it?"),
    ]
    assert run.results("NOBOX") == [""]  # nothing to ask after Save
    assert run.results("TITLE") == ["Corvane1.0 - demo", "Corvane1.0", "Corvane1.0 - demo",
                                    "Corvane1.0 - copy", "Corvane1.0 - copy"]
    lists = run.results("LIST")
    system_rows = "ftp://127.0.0.1/srv/update.ini  Username: u  Password: p|http://h/update.ini"
    assert lists[0] == system_rows
    assert lists[1] == ("0: Normal|1: Silent(Nothing can be seen except the prompt and error message)"
                        "|2: Hide(Nothing can be seen)")
    assert lists[2] == "|".join(["*[file0]"] + [f"[file{i}]" for i in range(1, 20)])
    assert lists[3] == system_rows  # reopened from the recent list
    browsed = w(projects / "demo" / "demo.epj").replace("\\", "/")
    assert run.results("TEXT") == [browsed, "demo.epj"]

    demo = (projects / "demo" / "demo.epj").read_bytes().decode()
    # The UI-Design page's keys (the design of a new project) are checked on
    # their own; test_ui_design.py covers the design itself.
    design = winrig_ini(demo)
    assert design["UI"]["use_myui"] == "1" and design["UI"]["CurrentWin"] == "0"
    assert "text=Update Program Wizard" in design["win0"]["static0"]
    assert without_ui_design(demo) == expected_demo_project(browsed)
    # Save As wrote every page into the new file, under the new name.
    copy = (projects / "copy" / "copy.epj").read_bytes().decode()
    assert copy == demo.replace("[project]\r\nname=demo", "[project]\r\nname=copy")
    status = (designer / "system" / "status.cfg").read_bytes().decode()
    assert status.startswith("//Created by Corvane\r\n[prj]\r\n")
    assert winrig_ini(status)["prj"] == {
        "name0": wine.winpath(projects / "copy" / "copy.epj"),
        "name1": wine.winpath(projects / "demo" / "demo.epj"),
        "have_prj": "1", "cursel": "0"}


def test_designer_recent_list(wine, testhost, designer, tmp_path):
    """Ten recent projects; one more pushes the oldest out, one opened again
    with other letter case moves to the front without a second entry; the
    last open project is restored at start-up."""
    projects = tmp_path / "projects"
    paths = []
    for i in range(11):
        folder = projects / f"p{i}"
        folder.mkdir(parents=True)
        (folder / f"p{i}.epj").write_bytes(f"[project]\r\nname=p{i}".encode())
        paths.append(wine.winpath(folder / f"p{i}.epj"))
    # The project restored at start-up was edited by hand, badly.
    (projects / "p0" / "p0.epj").write_bytes(
        b"[project]\r\nname=p0\r\n[system]\r\nurls=;;url0\r\nprotocol=99\r\nrandomsel=\r\n"
        b"[UI]\r\nstart_win=yes\r\n[file0]\r\nop_mode=x\r\nshow_type=7\r\nurls=url0=\r\n"
        b"[dir0]\r\n=\r\nprotocol=-4\r\nurls=url0=ftp://h/d,,,,\r\n[dir0]\r\nfilter\r\n")
    (designer / "system").mkdir()
    recent = "".join(f"name{i}={p}\r\n" for i, p in enumerate(paths[:10]))
    (designer / "system" / "status.cfg").write_bytes(
        f"//Created by Corvane\r\n[prj]\r\n{recent}have_prj=1\r\ncursel=2\r\n".encode())
    upper_p3 = paths[3].upper()
    script = ["title", "list #1300", "click &Close", "nobox",
              "click &Open", "menu 0", f"filedlg {paths[10]}", "title", "click &Close",
              "click &Open", "menu 0", f"filedlg {upper_p3}", "title",
              "visible &Upgrade",
              # A new project over an existing folder: No keeps the dialog,
              # Yes empties the folder first.
              "click &Close", "click &New", "window Create A New Project",
              "type next:Project Name:\tp1", f"type next:Path:\t{wine.winpath(projects)}",
              "click Cre&ate", "box no", "click Cre&ate", "box yes", "window main", "title",
              "close", "box no", "waitexit"]
    (projects / "p1" / "notes").mkdir()
    (projects / "p1" / "notes" / "old.txt").write_text("old")
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script)
    assert not run.errors, run.record
    assert [b[1] for b in run.boxes()] == [
        "Already exists, overwrite?\n(Note: Overwrite will be empty all the contents.)"] * 2 + [
        "Save the changes to the project?"]
    assert sorted(p.name for p in (projects / "p1").iterdir()) == ["p1.epj"]
    assert (projects / "p1" / "p1.epj").read_bytes() == b"[project]\r\nname=p1"
    # Without "updateApp\update.exe" the update check reports nothing.
    assert run.results("VISIBLE") == ["0"]
    titles = run.results("TITLE")
    assert titles[0:2] == ["Corvane1.0 - p0", "Corvane1.0 - p10"]
    assert titles[2].lower() == "corvane1.0 - p3"
    assert titles[3] == "Corvane1.0 - p1"
    # The restored project showed its last tab: the Directory page's list.
    assert run.results("LIST")[0].startswith("*[dir0]|[dir1]")
    prj = winrig_ini((designer / "system" / "status.cfg").read_text())["prj"]
    names = [prj.get(f"name{i}") for i in range(11)]
    assert names[10] is None
    # p1 came to the front again when it was created anew.
    assert names[0] == paths[1]
    assert names[1].lower() == paths[3].lower()
    assert names[2:] == [paths[10], paths[0], paths[2]] + paths[4:9] + [None]
    assert prj["have_prj"] == "1"


def test_designer_update_check(wine, testhost, designer, build_dir, http_server):
    """At start-up the designer runs "updateApp\\update.exe /HWND:<window>
    /OP:CheckVer"; a newer version shows the notice bar, which "&Remind me
    later" hides again."""
    updater = designer / "updateApp"
    updater.mkdir()
    shutil.copy2(build_dir / "update.exe", updater / "update.exe")
    shutil.copy2(REPO / "samples" / "ui" / "ui.dat", updater / "ui.dat")
    (updater / "update.dat").write_bytes(
        f"[system]\r\nurls=url0={http_server.url('designer.ini')}\r\n[file0]\r\nver=1.0\r\n".encode())
    (http_server.root / "designer.ini").write_bytes(
        f"[file0]\r\nver=1.1\r\nurls=url0={http_server.url('Corvane.exe')}\r\n".encode())
    # The check runs at start-up and may finish before the script's first
    # step, so the bar is only awaited, not first seen hidden.
    script = ["waitvisible &Upgrade", "text Find a new version of the program!",
              "click &Remind me later", "visible &Upgrade", "close", "waitexit"]
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script)
    assert not run.errors, run.record
    assert "/designer.ini" in http_server.requests
    assert run.results("VISIBLE") == ["1", "0"]


SHOTS_WANTED = bool(__import__("os").environ.get("CORVANE_SHOTS"))

DEFAULT_SLOT = "username=anonymous\r\npw=quillfern\r\nprotocol=0\r\n"


def expected_demo_project(browsed):
    files = (f"[file2]\r\nurl={browsed}\r\nusername=anonymous\r\npw=quillfern\r\nprotocol=2\r\n"
             "rename=demo.epj\r\n")
    files += "".join(f"[file{i}]\r\n{DEFAULT_SLOT}" for i in range(3, 20))
    dirs = "".join(f"[dir{i}]\r\n{DEFAULT_SLOT}" for i in range(1, 10))
    # The Build-Test page's keys: default test options, text mode and the
    # project's own output folder.
    output = browsed.replace("/", "\\").rsplit("\\", 1)[0] + "\\output\\"
    return (
        "[project]\r\nname=demo\r\n"
        f"param_val=0000\r\nlocal_cfgout=0\r\noutput_path={output}\r\n"
        "[system]\r\nurls=url0=ftp://127.0.0.1/srv/update.ini,,u,,p;;url1=http://h/update.ini\r\n"
        "randomsel=1\r\ntryallurl=0\r\nserver_conf=saved.example/update.ini\r\nprotocol=0\r\n"
        "closelog=1\r\nclose_proc1=app.exe, helper.exe\r\nusername=u\r\npw=p\r\n"
        "[UI]\r\nnoupdate_win=0\r\nnoupdate_win_msg=No new version.\r\nstart_win=1\r\n"
        "start_win_msg=Have new version, now upgrade it?\r\ndl_win=1\r\n"
        "dl_win_msg=Download file failed, please try again later!\r\nend_win1=1\r\nend_win2=1\r\n"
        "end_win1_msg=The upgrade is complete!\r\nend_win2_msg=Upgrade failed!\r\nclose_win=1\r\n"
        "close_win_msg=The upgrade will close some of the relevant processes. "
        "Save your data and continue.\r\n"
        "[file0]\r\nurls=url0=http://h/files/app.zip\r\nurl=h/files/app.zip\r\n"
        "username=anonymous\r\npw=quillfern\r\npath={appdriver}app\r\ndescribe=The application\r\n"
        "protocol=0\r\nlocal_ver=1.0\r\nfile_ver=1.1\r\nuncompress=1\r\nrename=app.zip\r\n"
        "op_mode=1\r\nshow_type=1\r\n"
        f"[file1]\r\n{DEFAULT_SLOT}local_ver=2.0\r\n{files}"
        "[dir0]\r\nurls=url0=file://C:/dirs/plugins\r\nurl=C:/dirs/plugins\r\n"
        "username=anonymous\r\npw=quillfern\r\nprotocol=1\r\nfile_ver=3.0\r\n"
        f"filter=*.dll,*.txt\r\nis_inc_subdir=1\r\n{dirs}")


UI_DESIGN_KEYS = ("CurrentWin=", "title=", "sysicon=", "use_myui=", "mbname=", "mbauthor=", "copyright=",
                  "myurl=")


def without_ui_design(text):
    """The project text without the UI-Design page's sections [win0] to
    [win3] and its keys in [UI]."""
    kept, section = [], None
    for line in text.split("\r\n"):
        if line.startswith("["):
            section = line.strip("[]")
        if section in ("win0", "win1", "win2", "win3"):
            continue
        if section == "UI" and line.startswith(UI_DESIGN_KEYS):
            continue
        kept.append(line)
    return "\r\n".join(kept)


def winrig_ini(text):
    sections, current = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            current = sections.setdefault(line.strip("[]"), {})
        elif "=" in line and current is not None:
            key, _, value = line.partition("=")
            current[key] = value
    return sections
