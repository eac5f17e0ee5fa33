"""Installations the plain case does not show, under Wine with the real
updater and servers on 127.0.0.1: a folder under "Program Files (x86)" with
"&" in its name, read-only files (installed, replaced, rolled back), items
named like the updater's own files in other folders, and names Windows
would read as other names. Each run checks many things at once."""
import io
import os
import shutil
import stat
import time
import zipfile
from pathlib import Path

from update_support import (HIDE, RESULT_FAILED, backups, clear_downloads, crlf,
                            hook_ran, hook_script, ini, install, local_versions, payload, tree)


def zip_with_attributes(entries):
    """A zip made on a DOS host: {name: (bytes, read_only)}."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, (data, read_only) in entries.items():
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 2, 3, 4, 6))
            info.create_system = 0
            info.external_attr = 0x20 | (0x01 if read_only else 0)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
    return buffer.getvalue()


def read_only(path):
    return not os.stat(path).st_mode & (stat.S_IWUSR | stat.S_IWGRP | stat.S_IWOTH)


def state(root):
    """Every file below root: its bytes and whether it is read-only."""
    return {p: (data, read_only(Path(root) / p)) for p, data in tree(root).items()
            if not p.endswith("update.log")}


def serve(http_server, sections):
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    return http_server.url("server.ini")


def run_hidden(run_updater, wine, install_dir, http_server, sections, versions):
    install(install_dir, serve(http_server, sections), versions)
    (install_dir / "update.log").unlink(missing_ok=True)
    clear_downloads(wine)
    return run_updater(install_dir, timeout=90)


def test_program_files_x86_read_only_files_and_the_updaters_namesakes(
        wine, build_dir, run_updater, http_server, tmp_path):
    app = tmp_path / "Program Files (x86)" / "Acme & Co"
    install_dir = app / "updateApp"
    install_dir.mkdir(parents=True)
    shutil.copy2(build_dir / "update.exe", install_dir / "update.exe")
    web = http_server.root
    marker = tmp_path / "marks.txt"
    (app / "hooks").mkdir()
    for name in ("run_udbefore", "run_udafters"):
        hook_script(app / "hooks", name, wine.winpath(marker))
    # The runme item writes its own mark: a batch file run from the folder above.
    runme = crlf('@echo runme>"%s"\n' % wine.winpath(tmp_path / "runme.done"))
    (web / "runme.bat").write_bytes(runme)
    system = {name: "{parent}\\hooks\\%s.bat" % name for name in ("run_udbefore", "run_udafters")}

    # Installed today: a read-only file the first update replaces.
    (install_dir / "old.dat").write_bytes(b"read-only original")
    os.chmod(install_dir / "old.dat", 0o444)
    new_old = payload("old", 3000)
    (web / "old.dat").write_bytes(new_old)
    v1 = {"ro.txt": (b"entry v1", True), "sub/ro2.txt": (b"sub v1", True), "rw.txt": (b"rw v1", False)}
    (web / "pack1.zip").write_bytes(zip_with_attributes(v1))
    (web / "other.exe").write_bytes(b"not the updater")
    (web / "other.dat").write_bytes(b"[file0]\r\nver=9\r\n")
    sections = {
        "file0": dict(ver="2", urls=[http_server.url("runme.bat")], runme=1, **HIDE),
        "file1": dict(ver="2", urls=[http_server.url("old.dat")], **HIDE),
        "file2": dict(ver="2", urls=[http_server.url("pack1.zip")], uncompress=1, **HIDE),
        # Named like the updater and its configuration, in other folders:
        # ordinary items, no self-update, versions still written back.
        "file3": dict(ver="2", urls=[http_server.url("other.exe")], rename="update.exe",
                      path="bin", **HIDE),
        "file4": dict(ver="2", urls=[http_server.url("other.dat")], rename="update.dat",
                      path="{parent}\\cfg", **HIDE),
        "system": system,
    }
    versions = {s: "1" for s in sections if s != "system"}
    run = run_hidden(run_updater, wine, install_dir, http_server, sections, versions)
    lines = run.log_lines()
    assert run.exited and run.boxes == [], run.record
    assert run.results == [3, 1], lines
    assert "Find the lastest update.exe. The self upgrade will be start." not in lines
    assert hook_ran(marker, "run_udbefore") and hook_ran(marker, "run_udafters"), lines
    assert _wait(tmp_path / "runme.done"), lines
    got = state(app)
    assert got["updateApp/old.dat"] == (new_old, False)
    assert got["updateApp/ro.txt"] == (b"entry v1", True)
    assert got["updateApp/sub/ro2.txt"] == (b"sub v1", True)
    assert got["updateApp/rw.txt"] == (b"rw v1", False)
    assert got["updateApp/bin/update.exe"][0] == b"not the updater"
    assert got["cfg/update.dat"][0] == b"[file0]\r\nver=9\r\n"
    assert local_versions(install_dir) == {s: "2" for s in versions}
    assert backups(app) == [] and not (install_dir / "update.jnl").exists()

    # The next update of the archive replaces its read-only files.
    v2 = {"ro.txt": (b"entry v2", True), "sub/ro2.txt": (b"sub v2", True), "rw.txt": (b"rw v2", False)}
    (web / "pack2.zip").write_bytes(zip_with_attributes(v2))
    sections2 = {"file2": dict(ver="3", urls=[http_server.url("pack2.zip")], uncompress=1, **HIDE)}
    run = run_hidden(run_updater, wine, install_dir, http_server, sections2, {"file2": "2"})
    assert run.results == [3, 1], run.log_lines()
    got = state(app)
    assert got["updateApp/ro.txt"] == (b"entry v2", True)
    assert got["updateApp/sub/ro2.txt"] == (b"sub v2", True)

    # A failing update that adds a read-only entry and overwrites the others:
    # the folder byte for byte and attribute for attribute as before.
    v3 = {"ro.txt": (b"entry v3", True), "added/new_ro.txt": (b"new", True), "rw.txt": (b"rw v3", True)}
    (web / "pack3.zip").write_bytes(zip_with_attributes(v3))
    (install_dir / "blocked.bin").mkdir()  # a folder of that name: the copy fails
    os.chmod(install_dir / "old.dat", 0o444)
    sections3 = {
        "file1": dict(ver="4", urls=[http_server.url("runme.bat")], rename="old.dat", **HIDE),
        "file2": dict(ver="4", urls=[http_server.url("pack3.zip")], uncompress=1, **HIDE),
        "file5": dict(ver="4", urls=[http_server.url("old.dat")], rename="blocked.bin", **HIDE),
    }
    install(install_dir, serve(http_server, sections3), {s: "3" for s in sections3})
    before = state(app)
    (install_dir / "update.log").unlink(missing_ok=True)
    clear_downloads(wine)
    run = run_updater(install_dir, timeout=90)
    lines = run.log_lines()
    assert run.results == [3, -1] and RESULT_FAILED in lines, lines
    assert state(app) == before, lines
    assert backups(app) == [] and not (install_dir / "update.jnl").exists()
    assert not (install_dir / "added").exists()

    # The next start is clean: no journal to settle, nothing new.
    install(install_dir, serve(http_server, {}), {})
    (install_dir / "update.log").unlink(missing_ok=True)
    run = run_updater(install_dir, timeout=60)
    lines = run.log_lines()
    assert run.results == [2], lines
    assert not any("journal" in line for line in lines), lines


def _wait(path, timeout=15):
    deadline = time.monotonic() + timeout
    while not Path(path).exists() and time.monotonic() < deadline:
        time.sleep(0.2)
    return Path(path).exists()


def test_names_windows_reads_as_others_fail_cleanly(install_dir, run_updater, wine, http_server,
                                                     ftp_server):
    app = install_dir.parent
    (http_server.root / "a.bin").write_bytes(b"new bytes")
    (install_dir / "a.txt").write_bytes(b"original a")
    ftp_login = ",," + ftp_server.USER + ",," + ftp_server.PASSWORD
    (ftp_server.root / "dots").mkdir()
    (ftp_server.root / "dots" / "ok.dat").write_bytes(b"ok")
    (ftp_server.root / "dots" / "update.jnl.").write_bytes(b"not a journal")
    (ftp_server.root / "device" / "COM1").mkdir(parents=True)
    (ftp_server.root / "device" / "ok.dat").write_bytes(b"ok")
    (ftp_server.root / "device" / "COM1" / "x.dat").write_bytes(b"x")
    names = {"a.txt.ebk.": "a trailing dot or blank", "docs \\a.txt": "a trailing dot or blank",
             "NUL": "a device name", "con.txt": "a device name",
             "ok&calc&.bat": "a character the command line reads"}
    cases = [
        ({"file%d" % i: dict(ver="2", urls=[http_server.url("a.bin")], rename=name, **HIDE)
          for i, name in enumerate(names)},
         ["The file name cannot be used on Windows (%s): %s" % (why, name)
          for name, why in names.items()]),
        ({"dir0": dict(ver="2", urls=[ftp_server.url("dots") + ftp_login], **HIDE)},
         ["The listed name cannot be used on Windows (a trailing dot or blank): /dots/update.jnl."]),
        ({"dir0": dict(ver="2", urls=[ftp_server.url("device") + ftp_login], is_inc_subdir=1, **HIDE)},
         ["The listed name cannot be used on Windows (a device name): /device/COM1"]),
    ]
    for sections, expected in cases:
        install(install_dir, serve(http_server, sections), {s: "1" for s in sections})
        before = tree(app)
        (install_dir / "update.log").unlink(missing_ok=True)
        clear_downloads(wine)
        run = run_updater(install_dir, timeout=90)
        lines = run.log_lines()
        assert run.exited and run.boxes == [], run.record
        assert run.results == [3, -1] and RESULT_FAILED in lines, lines
        for line in expected:
            assert line in lines, (line, lines)
        assert {k: v for k, v in tree(app).items() if not k.endswith("update.log")} == \
            {k: v for k, v in before.items() if not k.endswith("update.log")}
        assert backups(app) == [] and not (install_dir / "update.jnl").exists()
