"""The upgrade package the designer builds: "Corvane.exe /build" on a saved
project writes the package, its failures reach standard error with a
non-zero exit, and the package's own update.exe, served from a local HTTP
server, updates Sample App from 1.0 to 1.1 hidden, with its windows shown,
and through the wizard clicked page by page."""
import hashlib
import shutil
import struct
import threading
import time
import zipfile
from pathlib import Path

import pytest

import sample_support as sample
import winrig

CRLF = "\r\n"


def bmp(width, height, rgb):
    """A 24-bit Windows bitmap of one colour."""
    row = bytes(rgb[::-1]) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def project_text(wine, port, files, band, binary, show_type, with_urls=True, op_mode=1):
    """A Sample App project as the designer's pages save it."""
    md5 = {n: hashlib.md5((files / n).read_bytes()).hexdigest() for n in ("SampleApp.exe", "readme.txt")}
    image = f"show=1;;clrtp=16711935;;rect=0,0,500,30;;bmpfile={wine.winpath(band)}"
    lines = ["[project]", "name=sampleapp", f"local_cfgout={1 if binary else 0}",
             "[system]",
             f"urls=url0=http://127.0.0.1:{port}/update.ini" if with_urls else "",
             "closelog=0", "close_proc1=SampleApp.exe",
             "[UI]", "start_win=1", "start_win_msg=Sample App 1.1 is available. Update now?",
             "close_win=0", "end_win1=0", "end_win2=1", "noupdate_win=1", "title=Sample App Update",
             "[win0]", "image0=" + image,
             "[win1]", "image0=" + image]
    for n, (name, describe) in enumerate((("SampleApp.exe", "Sample App 1.1"),
                                          ("readme.txt", "Release notes"))):
        lines += [f"[file{n}]", f"urls=url0=http://127.0.0.1:{port}/files/{name}", "path={parent}",
                  f"describe={describe}", "local_ver=1.0", "file_ver=1.1", f"md5={md5[name]}",
                  f"op_mode={op_mode}", f"show_type={show_type}"]
    return CRLF.join(l for l in lines if l)


@pytest.fixture
def designer(tmp_path, build_dir):
    folder = tmp_path / "Corvane"
    (folder / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", folder / "Corvane.exe")
    shutil.copy2(build_dir / "update.exe", folder / "updateApp" / "update.exe")
    return folder


def build(wine, designer, project, out=None):
    args = ["/build", wine.winpath(project)] + (["/out", wine.winpath(out)] if out else [])
    return wine.run(designer / "Corvane.exe", args, timeout=120)


def loose(folder):
    return sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*"))


def test_command_line_builds_packages_and_reports_failures(tmp_path, wine, designer, http_server,
                                                           build_dir):
    served = tmp_path / "files"
    served.mkdir()
    shutil.copy2(sample.sample_exe(build_dir, "1.1"), served / "SampleApp.exe")
    shutil.copy2(sample.SAMPLES / "server" / "files" / "readme.txt", served / "readme.txt")
    project = tmp_path / "sampleapp" / "sampleapp.epj"
    # Pictures are read from the project's folder only.
    band = project.parent / "art" / "band.bmp"
    band.parent.mkdir(parents=True)
    band.write_bytes(bmp(40, 8, (0, 128, 255)))

    # Text mode into the project's own output folder.
    project.write_text(project_text(wine, http_server.port, served, band, False, 2))
    run = build(wine, designer, project)
    out = project.parent / "output"
    assert run.returncode == 0, run.stderr + run.stdout
    assert "Packing ui.bin" in run.stdout and "Build complete!" in run.stdout
    assert loose(out) == ["ui.bin", "update.dat", "update.exe", "update.ini"]
    assert (out / "update.exe").read_bytes() == (build_dir / "update.exe").read_bytes()
    local = (out / "update.dat").read_text()
    assert f"urls=url0=http://127.0.0.1:{http_server.port}/update.ini" in local
    assert local.count("ver=1.0") == 2
    server_text = (out / "update.ini").read_text()
    assert "close_proc1=SampleApp.exe" in server_text and server_text.count("ver=1.1") == 2
    # The band named by two windows is packed once, beside ui.dat.
    names = [n.replace("\\", "/") for n in zipfile.ZipFile(out / "ui.bin").namelist()]
    assert names == ["ui.dat", "res/band.bmp"]

    # Binary mode leaves no update.dat; text mode afterwards removes update.bin.
    project.write_text(project_text(wine, http_server.port, served, band, True, 2))
    binary = tmp_path / "binary"
    assert build(wine, designer, project, binary).returncode == 0
    assert loose(binary) == ["ui.bin", "update.bin", "update.exe", "update.ini"]
    assert zipfile.ZipFile(binary / "update.bin").namelist() == ["update.dat"]
    again = tmp_path / "again"
    assert build(wine, designer, project, again).returncode == 0
    project.write_text(project_text(wine, http_server.port, served, band, False, 2))
    assert build(wine, designer, project, again).returncode == 0
    assert loose(again) == ["ui.bin", "update.dat", "update.exe", "update.ini"]

    # Failures: no server-side file, an output folder that cannot be written,
    # no updater to put into the package.
    nameless = tmp_path / "nameless" / "nameless.epj"
    nameless.parent.mkdir()
    nameless.write_text(project_text(wine, http_server.port, served, band, False, 2, with_urls=False))
    run = build(wine, designer, nameless, tmp_path / "nameless-out")
    assert run.returncode != 0
    assert "Not define the server-side configuration file, or define it incorrectly" in run.stderr
    assert not (tmp_path / "nameless-out").exists()
    blocker = tmp_path / "blocker"
    blocker.write_text("a file, not a folder")
    run = build(wine, designer, project, blocker / "sub")
    assert run.returncode != 0 and "Failed to create local configuration file." in run.stderr
    # A server-side file named like one of the package's own files.
    clash = tmp_path / "clash" / "clash.epj"
    clash.parent.mkdir()
    clash.write_text(project_text(wine, http_server.port, served, band, False, 2).replace(
        "/update.ini", "/Update.EXE"))
    run = build(wine, designer, clash, tmp_path / "clash-out")
    assert run.returncode != 0, run.stdout
    assert ("The server-side configuration file can not be named Update.EXE: the upgrade package has a file "
            "of that name.") in run.stderr
    assert not (tmp_path / "clash-out").exists()
    # update.bin cannot be written: the build fails and update.dat stays.
    project.write_text(project_text(wine, http_server.port, served, band, True, 2))
    stuck = tmp_path / "stuck"
    (stuck / "update.bin").mkdir(parents=True)
    run = build(wine, designer, project, stuck)
    assert run.returncode != 0 and "Failed to pack update.dat into update.bin." in run.stderr
    assert "Build complete!" not in run.stdout
    assert (stuck / "update.dat").read_text().count("ver=1.0") == 2
    assert not (stuck / "update.exe").exists()
    # A relative output folder of the project lies beside it, whatever the
    # current folder of the build.
    project.write_text(project_text(wine, http_server.port, served, band, False, 2).replace(
        "name=sampleapp", "name=sampleapp" + CRLF + "output_path=rel\\pkg"))
    run = wine.run(designer / "Corvane.exe", ["/build", wine.winpath(project)], cwd=tmp_path, timeout=120)
    assert run.returncode == 0, run.stderr + run.stdout
    assert loose(project.parent / "rel") == ["pkg", "pkg/ui.bin", "pkg/update.dat", "pkg/update.exe",
                                             "pkg/update.ini"]
    assert not (tmp_path / "rel").exists()
    (designer / "updateApp" / "update.exe").unlink()
    run = build(wine, designer, project, tmp_path / "no-updater")
    assert run.returncode != 0 and "update.exe" in run.stderr
    assert (tmp_path / "no-updater" / "ui.bin").exists()


def sample_project(tmp_path, wine, http_server, build_dir, binary, show_type, **options):
    """Sample App 1.1 and its release notes served from "files/", and the
    project "sampleapp/sampleapp.epj" that describes them: (served, project)."""
    served = http_server.root / "files"
    served.mkdir(parents=True)
    shutil.copy2(sample.sample_exe(build_dir, "1.1"), served / "SampleApp.exe")
    shutil.copy2(sample.SAMPLES / "server" / "files" / "readme.txt", served / "readme.txt")
    project = tmp_path / "sampleapp" / "sampleapp.epj"
    project.parent.mkdir()
    band = project.parent / "band.bmp"
    band.write_bytes(bmp(40, 8, (0, 128, 255)))
    project.write_text(project_text(wine, http_server.port, served, band, binary, show_type,
                                    **options))
    return served, project


@pytest.mark.parametrize("show_type,op_mode,steps", [
    (2, 1, ("ok",)),
    (0, 1, ("yes",)),
    (0, 0, ("yes", "click:&Next", "sleep:4000", "click:&Next", "sleep:1000", "click:&Next",
            "click:&Finished")),
])
def test_the_package_updates_sample_app(tmp_path, wine, designer, http_server, build_dir,
                                        run_updater, show_type, op_mode, steps):
    served, project = sample_project(tmp_path, wine, http_server, build_dir, show_type == 2,
                                     show_type, op_mode=op_mode)
    out = tmp_path / "package"
    run = build(wine, designer, project, out)
    assert run.returncode == 0, run.stderr

    # The publisher's steps: the server-side file beside the files, the rest
    # shipped with Sample App 1.0.
    shutil.copy2(out / "update.ini", http_server.root / "update.ini")
    app = tmp_path / "SampleApp"
    updater = app / "updateApp"
    updater.mkdir(parents=True)
    shutil.copy2(sample.sample_exe(build_dir, "1.0"), app / "SampleApp.exe")
    shutil.copy2(sample.SAMPLES / "app" / "readme.txt", app / "readme.txt")
    for name in ("update.exe", "ui.bin", "update.bin" if show_type == 2 else "update.dat"):
        shutil.copy2(out / name, updater / name)

    result = run_updater(updater, answers=steps, timeout=120)
    assert result.exited and not result.timed_out, result.record + result.log()
    assert result.results == [3, 1], result.log()
    assert (app / "SampleApp.exe").read_bytes() == (served / "SampleApp.exe").read_bytes()
    assert (app / "readme.txt").read_bytes() == (served / "readme.txt").read_bytes()
    if show_type == 2:
        stored = zipfile.ZipFile(updater / "update.bin")
        assert stored.namelist() == ["update.dat"]
    else:
        assert (updater / "update.dat").read_text().count("ver=1.1") == 2


def test_build_test_page_builds_launches_and_lists_messages(tmp_path, wine, designer, http_server,
                                                            build_dir, testhost):
    served, project = sample_project(tmp_path, wine, http_server, build_dir, False, 2)
    out = project.parent / "output"

    def serve_after_build():
        shutil.copy2(out / "update.ini", http_server.root / "update.ini")

    # The designer's own update check at start-up finds nothing new.
    (designer / "updateApp" / "update.dat").write_text(
        f"[system]\r\nurls=url0=http://127.0.0.1:{http_server.port}/designer.ini\r\n")
    (http_server.root / "designer.ini").write_text("[UI]\r\nnoupdate_win=0\r\n")
    shots = tmp_path / "shots"
    shots.mkdir()
    blocker = tmp_path / "blocker"
    blocker.write_text("a file, not a folder")
    script = [
        "tab 4", "sleep 300",
        "click Build upgrade package", "sleep 5000",
        "text #1506", "visible #1507", f"shot {wine.winpath(shots / 'built.bmp')}",
        "check Return messages from the upgrade process\t1",
        "text #1514",
        "click Launch", "sleep 30000",
        "text #1516", f"shot {wine.winpath(shots / 'tested.bmp')}",
        f"type #1500\t{wine.winpath(blocker)}\\sub\\",
        "click Build upgrade package", "box ok",
        "close", "nobox", "waitexit",
    ]
    # The package is served once it exists: the launch checks against it.
    def wait_and_serve():
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and not (out / "update.exe").exists():
            time.sleep(0.2)
        time.sleep(1)
        if (out / "update.ini").exists():
            serve_after_build()
    server_thread = threading.Thread(target=wait_and_serve)
    server_thread.start()
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script, args=[wine.winpath(project)])
    server_thread.join()
    texts = run.results("TEXT")
    assert texts[0] == "Build complete!\r\nResults are saved in the folder:" + wine.winpath(out) + "\\\r\n", run.record
    assert run.results("VISIBLE") == ["0"], run.record
    assert "ui.bin" in loose(out) and "update.dat" in loose(out)
    assert texts[1].endswith("\\update.exe /HWND:" + texts[1].rsplit(":", 1)[1]), texts[1]
    lines = [l.split("    ", 1)[1] for l in texts[2].replace("\r\n", "\n").splitlines() if l]
    assert lines[0].startswith("The update.exe's version: "), lines
    assert "MSG=WM_USER+999;  WPARAM=3;  Description: Find new version" in lines, lines
    assert any(l.startswith("MSG=WM_USER+998;  WPARAM=") and
               l.endswith("Description: The general progress (relative value)") for l in lines), lines
    assert any(l.startswith("MSG=WM_USER+996;  WPARAM=") for l in lines), lines
    assert "MSG=WM_USER+999;  WPARAM=1;  Description: The upgrade is complete." in lines, lines
    boxes = [b[1] for b in run.boxes()]
    assert "Failed to create local configuration file." in boxes, run.record
    for name in ("built", "tested"):
        bmp_path = shots / f"{name}.bmp"
        if bmp_path.exists():
            docs = Path(__file__).resolve().parents[2] / "build" / "package-shots"
            docs.mkdir(parents=True, exist_ok=True)
            shutil.copy2(bmp_path, docs / bmp_path.name)
