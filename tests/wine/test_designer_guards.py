"""What the designer refuses, driven through its real windows under Wine:
project names that are not one plain folder name, templates that are
damaged, name a file twice, bring a "system.dat" or unpack too large (each
leaving the current template folder byte for byte as it was), a project
folder overwritten over a link to another folder, and package builds that
could not write all their files."""
import os
import shutil
import warnings
import zipfile

import pytest

import winrig

CRLF = "\r\n"
NAME_REFUSED = "Name can not be empty, can not contain characters not supported."
OVERWRITE = "Already exists, overwrite?\n(Note: Overwrite will be empty all the contents.)"
FORMAT_ERROR = "Template file format error:"
TEMPLATE_TEXT = CRLF.join(["//Created by Corvane", "[UI]", "title=New", "mbname=Fresh", "mbauthor=Ann",
                           "[win0]", "image0=show=1;;rect=0,0,4,4;;bmpfile=res\\new.bmp", ""])


def bmp(width, height):
    row = b"\x00\x80\xff" * width + b"\0" * ((4 - width * 3 % 4) % 4)
    pixels = row * height
    return (b"BM" + (54 + len(pixels)).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little") +
            (40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little") +
            (1).to_bytes(2, "little") + (24).to_bytes(2, "little") + bytes(4) +
            len(pixels).to_bytes(4, "little") + bytes(16) + pixels)


LOGO = bmp(8, 8)


def snapshot(folder):
    return {p.relative_to(folder).as_posix(): (p.read_bytes() if p.is_file() else None)
            for p in sorted(folder.rglob("*"))}


def write_zip(path, entries, compression=zipfile.ZIP_STORED):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # duplicate names are the point
        with zipfile.ZipFile(path, "w", compression) as archive:
            for name, data in entries:
                archive.writestr(name, data)


def damaged_second_entry(path):
    """A sound umb.dat followed by an entry whose bytes do not match its CRC."""
    write_zip(path, [("umb.dat", TEMPLATE_TEXT), ("res/new.bmp", b"BM" + b"\x11" * 64)])
    data = bytearray(path.read_bytes())
    info = zipfile.ZipFile(path).getinfo("res/new.bmp")
    start = info.header_offset + 30 + int.from_bytes(data[info.header_offset + 26:info.header_offset + 28], "little") \
        + int.from_bytes(data[info.header_offset + 28:info.header_offset + 30], "little")
    data[start + 10] ^= 0xFF
    path.write_bytes(bytes(data))


@pytest.fixture
def designer(tmp_path, build_dir, http_server):
    """Corvane with its updater, whose own update check finds nothing; a
    current template and the built-in design in defui\\."""
    folder = tmp_path / "Corvane"
    (folder / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", folder / "Corvane.exe")
    shutil.copy2(build_dir / "update.exe", folder / "updateApp" / "update.exe")
    (folder / "updateApp" / "update.dat").write_text(
        f"[system]\r\nurls=url0=http://127.0.0.1:{http_server.port}/designer.ini\r\n")
    (http_server.root / "designer.ini").write_text("[UI]\r\nnoupdate_win=0\r\n")
    defui = folder / "defui"
    (defui / "res").mkdir(parents=True)
    (defui / "umb.dat").write_bytes(b"//Created by Corvane\r\n[UI]\r\ntitle=Current\r\nmbname=Current\r\n")
    (defui / "res" / "old.bmp").write_bytes(b"current picture")
    (defui / "system.dat").write_bytes(b"//Created by Corvane\r\n[UI]\r\ntitle=Built in\r\n")
    return folder


def test_refused_names_and_templates_change_nothing(wine, testhost, designer, tmp_path):
    w = wine.winpath
    projects = tmp_path / "projects"
    (projects / "other").mkdir(parents=True)
    (projects / "other" / "other.epj").write_bytes(b"[project]\r\nname=other")
    (tmp_path / "keep.txt").write_text("beside the projects folder")
    # A project folder to overwrite, holding a link to a folder elsewhere.
    (tmp_path / "precious" / "sub").mkdir(parents=True)
    (tmp_path / "precious" / "keep.txt").write_text("precious")
    (tmp_path / "precious" / "sub" / "keep2.txt").write_text("precious too")
    (projects / "trap").mkdir()
    (projects / "trap" / "old.txt").write_text("old")
    os.symlink(tmp_path / "precious", projects / "trap" / "link")
    before = snapshot(tmp_path / "precious"), snapshot(projects / "other")

    templates = tmp_path / "templates"
    templates.mkdir()
    damaged_second_entry(templates / "damaged.umb")
    write_zip(templates / "twice.umb", [("umb.dat", TEMPLATE_TEXT), ("umb.dat", "[UI]\r\ntitle=Other\r\n")])
    write_zip(templates / "case.umb", [("umb.dat", TEMPLATE_TEXT), ("UMB.DAT", "[UI]\r\ntitle=Other\r\n")])
    write_zip(templates / "system.umb", [("umb.dat", TEMPLATE_TEXT), ("system.dat", "[UI]\r\ntitle=Mine\r\n")])
    write_zip(templates / "big.umb", [("umb.dat", TEMPLATE_TEXT)] +
              [(f"res/{i:02d}.bmp", bytes(1 << 20)) for i in range(65)], zipfile.ZIP_DEFLATED)
    assert (templates / "big.umb").stat().st_size < 300_000
    defui_before = snapshot(designer / "defui")

    names = ["..", ".", "a/b", "a\\b", "CON", "nul.txt", "com1", "x.", "x ", "a:b", "a*b", "a?b", "a|b", "a<b"]
    script = ["click &New", "window Create A New Project", f"type next:Path:\t{w(projects)}"]
    for name in names:
        script += [f"type next:Project Name:\t{name}", "click Cre&ate", "box ok"]
    script += ["type next:Project Name:\ttrap", "click Cre&ate", "box yes", "window main", "title", "tab 3"]
    refused = ["damaged", "twice", "case", "system", "big"]
    for name in refused:
        script += ["click Select a template", f"filedlg {w(templates / (name + '.umb'))}", "box ok"]
    script += ["close", "box no", "waitexit"]
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script)
    assert not run.errors, run.record

    boxes = [b[1] for b in run.boxes()]
    assert boxes[:len(names)] == [NAME_REFUSED] * len(names), run.record
    assert boxes[len(names)] == OVERWRITE
    path = {n: w(templates / (n + ".umb")) for n in refused}
    assert boxes[len(names) + 1:-1] == [
        FORMAT_ERROR + path["damaged"],
        FORMAT_ERROR + path["twice"] + "\r\nThe template holds more than one entry named umb.dat",
        FORMAT_ERROR + path["case"] + "\r\nThe template holds more than one entry named UMB.DAT",
        FORMAT_ERROR + path["system"] + "\r\nA template can not replace the built-in design system.dat.",
        "The template is too large: " + path["big"] + "\r\nIts files would take more than 64 MiB.",
    ], run.record
    assert run.results("TITLE") == ["Corvane1.0 - trap"]
    # Nothing outside the new project's folder was touched. The deletion
    # stopped at the link: Wine 8 shows it as a folder link but cannot remove
    # one (Windows removes the link alone), so it stays, its target intact.
    assert (tmp_path / "keep.txt").read_text() == "beside the projects folder"
    assert (snapshot(tmp_path / "precious"), snapshot(projects / "other")) == before
    assert sorted(p.name for p in (projects / "trap").iterdir()) == ["link", "trap.epj"]
    assert os.readlink(projects / "trap" / "link") == str(tmp_path / "precious")
    assert sorted(p.name for p in tmp_path.iterdir() if p.name.startswith("projects")) == ["projects"]
    # The current template is as it was, with no staging folder beside it.
    assert snapshot(designer / "defui") == defui_before
    assert sorted(p.name for p in designer.iterdir()) == ["Corvane.exe", "defui", "system", "umb", "updateApp"]


def test_templates_swap_in_whole_and_builds_count_every_file(wine, testhost, designer, tmp_path, http_server):
    """A sound template with a read-only entry opens twice (the second time
    over the first one's files); a build into a relative output folder lands
    beside the project and leaves the publisher's own res\\ alone; a build
    that cannot write update.bin fails with a box and keeps update.dat."""
    w = wine.winpath
    project = tmp_path / "projects" / "shop" / "shop.epj"
    project.parent.mkdir(parents=True)
    project.write_bytes(CRLF.join([
        "[project]", "name=shop", "local_cfgout=1", "output_path=out\\",
        "[system]", f"urls=url0=http://127.0.0.1:{http_server.port}/update.ini",
        "[UI]", "use_myui=1", "[win0]", "image0=show=1;;rect=0,0,8,8;;bmpfile=art\\logo.bmp", ""]).encode())
    (project.parent / "art").mkdir()
    (project.parent / "art" / "logo.bmp").write_bytes(LOGO)
    out = project.parent / "out"
    (out / "res").mkdir(parents=True)
    (out / "res" / "new.bmp").write_bytes(b"the publisher's own picture")
    blocked = tmp_path / "blocked"
    (blocked / "update.bin").mkdir(parents=True)
    copy = tmp_path / "projects" / "copy" / "copy.epj"
    good = tmp_path / "good.umb"
    with zipfile.ZipFile(good, "w") as archive:
        archive.writestr("umb.dat", TEMPLATE_TEXT)
        info = zipfile.ZipInfo("res/new.bmp")
        info.external_attr = 0x01  # read-only
        archive.writestr(info, b"BM new picture")
    script = ["tab 3",
              "click Select a template", f"filedlg {w(good)}", "window main", "text #1411",
              "click Select a template", "menu 1", "window main", "text #1412",
              "tab 4", "click Build upgrade package", "sleep 6000", "text #1506",
              f"type #1500\t{w(blocked)}\\", "click Build upgrade package", "box ok", "sleep 1000", "text #1506",
              "click Save&As", f"filedlg {w(copy)}", "title",
              "close", "nobox", "waitexit"]
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script, args=[w(project)])
    assert not run.errors, run.record
    texts = run.results("TEXT")
    assert texts[:2] == ["Fresh", "Ann"], run.record
    defui = snapshot(designer / "defui")
    assert defui == {"res": None, "res/new.bmp": b"BM new picture", "umb.dat": TEMPLATE_TEXT.encode(),
                     "system.dat": b"//Created by Corvane\r\n[UI]\r\ntitle=Built in\r\n"}
    assert texts[2] == "Build complete!\r\nResults are saved in the folder:" + w(out) + "\\\r\n", run.record
    assert sorted(p.relative_to(out).as_posix() for p in out.rglob("*")) == [
        "res", "res/new.bmp", "ui.bin", "update.bin", "update.exe", "update.ini"]
    assert (out / "res" / "new.bmp").read_bytes() == b"the publisher's own picture"
    # The picture named relative to the project was found beside it.
    assert [n.replace("\\", "/") for n in zipfile.ZipFile(out / "ui.bin").namelist()] == ["ui.dat", "res/logo.bmp"]
    assert [b[1] for b in run.boxes()] == ["Failed to pack update.dat into update.bin."], run.record
    assert "Build complete!" not in texts[3]
    assert (blocked / "update.dat").exists() and (blocked / "update.bin").is_dir()
    assert not (blocked / "update.exe").exists()
    # Save As into another folder brought the picture along.
    assert run.results("TITLE") == ["Corvane1.0 - copy"]
    assert (copy.parent / "art" / "logo.bmp").read_bytes() == LOGO
    assert "bmpfile=art\\logo.bmp" in copy.read_text()
