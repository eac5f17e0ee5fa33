"""The whole update under Wine: the real updater started by the test host
downloads from HTTP, FTP and file:// servers on 127.0.0.1, installs, rolls
back, closes programs and runs the publisher's hook programs. Each run
checks many things at once; installed files are compared byte for byte."""
import io
import subprocess
import time
import zipfile
from pathlib import Path

from update_support import (HIDE, RESULT_FAILED, RESULT_OK, backups, clear_downloads, crlf,
                            download_folders, ini, install, local_versions, md5, payload,
                            hook_script, hook_ran, tree, wait_lines)

HOOKS = ("run_before", "run_dlbefore", "run_dlafters", "run_udbefore", "run_udafters",
         "run_after")


def zip_bytes(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in entries.items():
            z.writestr(name, data)
    return buffer.getvalue()


def serve_config(http_server, sections):
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    return http_server.url("server.ini")


def test_hidden_update_of_every_kind_of_item(install_dir, run_updater, wine, http_server,
                                             ftp_server, tmp_path):
    app = install_dir.parent  # "{parent}"
    files = {name: payload(name, size) for name, size in (
        ("app.exe", 300_000), ("tool.dat", 70_000), ("lib.dll", 90_000), ("notes.txt", 5_000),
        ("cfg.ini", 1_000), ("one.dat", 4_000), ("two.dat", 3_000), ("x.png", 2_000),
        ("y.png", 2_500), ("a.txt", 700), ("b.txt", 800))}
    web = http_server.root / "files"
    web.mkdir()
    for name in ("app.exe", "tool.dat", "cfg.ini"):
        (web / name).write_bytes(files[name])
    (web / "pack.zip").write_bytes(zip_bytes({"a.txt": files["a.txt"],
                                              "sub/b.txt": files["b.txt"]}))
    (ftp_server.root / "lib.dll").write_bytes(files["lib.dll"])
    ftp_data = ftp_server.root / "data"
    (ftp_data / "deep").mkdir(parents=True)
    (ftp_data / "one.dat").write_bytes(files["one.dat"])
    (ftp_data / "skip.txt").write_bytes(b"filtered out")
    (ftp_data / "deep" / "two.dat").write_bytes(files["two.dat"])
    share = tmp_path / "share"
    (share / "assets" / "b").mkdir(parents=True)
    (share / "notes_v2.txt").write_bytes(files["notes.txt"])
    (share / "assets" / "x.png").write_bytes(files["x.png"])
    (share / "assets" / "b" / "y.png").write_bytes(files["y.png"])
    share_url = "file://" + wine.winpath(share).replace("\\", "/")
    ftp_login = ",," + ftp_server.USER + ",," + ftp_server.PASSWORD

    # What is installed today: old bytes, an empty file, and files nobody touches.
    (install_dir / "app.exe").write_bytes(b"old app")
    (install_dir / "a.txt").write_bytes(b"old a")
    (install_dir / "docs").mkdir()
    (install_dir / "docs" / "notes.txt").write_bytes(b"")
    (install_dir / "keep.txt").write_bytes(b"untouched")

    marker = tmp_path / "hooks.txt"
    hooks = {name: "{parent}\\hooks\\%s.bat" % name for name in HOOKS}
    (app / "hooks").mkdir()
    for name in HOOKS:
        hook_script(app / "hooks", name, wine.winpath(marker))
    hook_script(app / "hooks", "run_dlafterf", wine.winpath(marker))

    sections = {
        "file0": dict(ver="1.1", urls=[http_server.url("files/app.exe")], md5=md5(files["app.exe"]), **HIDE),
        "file1": dict(ver="1.1", urls=[http_server.url("files/tool.dat")],
                      md5=md5(files["tool.dat"]).upper(), path="{parent}\\bin", **HIDE),
        "file2": dict(ver="2.0", urls=[ftp_server.url("lib.dll") + ftp_login], path="data", **HIDE),
        "file3": dict(ver="1.1", urls=[share_url + "/notes_v2.txt"], rename="notes.txt",
                      path="docs", **HIDE),
        "file4": dict(ver="1.1", urls=[http_server.url("files/pack.zip")], uncompress=1, **HIDE),
        "file5": dict(ver="1.1", urls=[http_server.url("files/cfg.ini")], modify_ver=0, **HIDE),
        "dir0": dict(ver="3.0", urls=[ftp_server.url("data") + ftp_login], filter="*.dat",
                     is_inc_subdir=1, path="{parent}\\ftpdata", **HIDE),
        "dir1": dict(ver="1.5", urls=[share_url + "/assets"], is_inc_subdir=1, path="assets", **HIDE),
        "system": dict(hooks, run_dlafterf="{parent}\\hooks\\run_dlafterf.bat"),
    }
    versions = {s: "1.0" for s in sections if s != "system"}
    install(install_dir, serve_config(http_server, sections), versions)
    clear_downloads(wine)

    run = run_updater(install_dir, timeout=120)
    lines = run.log_lines()
    assert run.exited and run.boxes == [], run.record
    assert run.results == [3, 1], "\n".join(lines)
    assert lines[-1] == RESULT_OK or RESULT_OK in lines

    got = tree(app)
    expected = {
        "updateApp/app.exe": files["app.exe"],
        "bin/tool.dat": files["tool.dat"],
        "updateApp/data/lib.dll": files["lib.dll"],
        "updateApp/docs/notes.txt": files["notes.txt"],
        "updateApp/a.txt": files["a.txt"],
        "updateApp/sub/b.txt": files["b.txt"],
        "updateApp/cfg.ini": files["cfg.ini"],
        "ftpdata/one.dat": files["one.dat"],
        "ftpdata/deep/two.dat": files["two.dat"],
        "updateApp/assets/x.png": files["x.png"],
        "updateApp/assets/b/y.png": files["y.png"],
        "updateApp/keep.txt": b"untouched",
    }
    for path, data in expected.items():
        assert got.get(path) == data, path
    assert "updateApp/pack.zip" not in got  # unpacked, then deleted
    assert not any(p.endswith("skip.txt") for p in got)  # the filter
    assert backups(app) == []
    assert download_folders(wine) == []

    versions_now = local_versions(install_dir)
    assert versions_now == {**{s: sections[s]["ver"] for s in versions}, "file5": "1.0"}
    assert "Do not modify the ver's value of the [file5]." in lines
    assert "Set the ver's value of the [dir1] to 1.5" in lines
    assert "MD5 checksum success." in lines
    assert "Backup the file (%s) to %s.ebk" % (wine.winpath(install_dir / "app.exe"),
                                               wine.winpath(install_dir / "app.exe")) in lines

    progress = [(w, l) for (m, w, l) in run.messages if m == 998]
    assert progress[-1] == (800, 800) and len(progress) >= 8
    assert [l for _, l in progress] == sorted(l for _, l in progress)
    assert any(m == 996 for (m, _, _) in run.messages)

    # Hook programs at their points: the ones waited for in order, the two
    # started at the very end in either order.
    assert hook_ran(marker, "run_after") and hook_ran(marker, "run_udafters")
    marks = wait_lines(marker, len(HOOKS), timeout=2)
    assert marks[:4] == ["run_before", "run_dlbefore", "run_dlafters", "run_udbefore"], marks
    assert not hook_ran(marker, "run_dlafterf", timeout=0)


def broken_server(http_server, name, data, mode):
    """Serves `name` announcing all of `data` but sending half, then closing
    the connection in order ("close") or resetting it ("reset")."""
    import socket
    import struct

    def handler(h):
        h.send_response(200)
        h.send_header("Content-Length", str(len(data)))
        h.end_headers()
        if h.command == "HEAD":
            return
        h.wfile.write(data[:len(data) // 2])
        h.wfile.flush()
        if mode == "reset":
            h.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        h.close_connection = True
        h.connection.close()

    http_server.route("/" + name, handler)
    return http_server.url(name)


def test_failures_leave_the_installation_as_it_was(install_dir, run_updater, wine, http_server,
                                                  tmp_path):
    """Six hidden runs: a wrong MD5, a download cut short (closed, then
    reset), a name that climbs out of its folder, an archive with an entry outside its folder, and an update whose
    last item cannot be written after the others were copied. Every original byte for byte, no new file, no .ebk,
    the host told -1, no box."""
    app = install_dir.parent
    good = payload("good", 50_000)
    (http_server.root / "good.bin").write_bytes(good)
    (http_server.root / "other.bin").write_bytes(payload("other", 9_000))
    (install_dir / "good.bin").write_bytes(b"original good")
    (install_dir / "empty.cfg").write_bytes(b"")
    marker = tmp_path / "hooks.txt"
    for name in ("run_dlafterf", "run_udafterf"):
        hook_script(app, name, wine.winpath(marker))
    system = {"run_dlafterf": "{parent}\\run_dlafterf.bat",
              "run_udafterf": "{parent}\\run_udafterf.bat"}

    cases = {
        "md5": {"file0": dict(ver="2", urls=[http_server.url("good.bin")], md5="0" * 32, **HIDE)},
        "closed": {"file0": dict(ver="2", urls=[broken_server(http_server, "cut.bin", good, "close")],
                                 rename="good.bin", **HIDE)},
        "reset": {"file0": dict(ver="2", urls=[broken_server(http_server, "rst.bin", good, "reset")],
                                rename="good.bin", **HIDE)},
        # An archive entry that would land outside the destination.
        "escape": {
            "file0": dict(ver="2", urls=[http_server.url("good.bin")], md5=md5(good), **HIDE),
            "file1": dict(ver="2", urls=[http_server.url("evil.zip")], uncompress=1, **HIDE),
        },
        # A server-side name that climbs out of the item's folder.
        "rename": {"file0": dict(ver="2", urls=[http_server.url("good.bin")],
                                 rename="..\\..\\climbed.bin", **HIDE)},
        # file3's destination is a folder of that name: it cannot be written
        # once file0 and file1 (the empty file's new bytes) were copied and
        # file2 was created in a new folder.
        "unwritable": {
            "file0": dict(ver="2", urls=[http_server.url("good.bin")], md5=md5(good), **HIDE),
            "file1": dict(ver="2", urls=[http_server.url("other.bin")], rename="empty.cfg", **HIDE),
            "file2": dict(ver="2", urls=[http_server.url("other.bin")], rename="fresh.bin",
                          path="{parent}\\new", **HIDE),
            "file3": dict(ver="2", urls=[http_server.url("other.bin")], rename="blocked.bin", **HIDE),
        },
    }
    (http_server.root / "evil.zip").write_bytes(zip_bytes({"ok.txt": b"fine", "../../evil.txt": b"x"}))
    (install_dir / "blocked.bin").mkdir()
    for case, items in cases.items():
        marker.unlink(missing_ok=True)
        (install_dir / "update.log").unlink(missing_ok=True)
        sections = dict(items, system=system)
        install(install_dir, serve_config(http_server, sections), {s: "1" for s in items})
        before = tree(app)
        clear_downloads(wine)
        run = run_updater(install_dir, timeout=90)
        lines = run.log_lines()
        assert run.exited and run.boxes == [], (case, run.record)
        assert run.results == [3, -1], (case, lines)
        assert RESULT_FAILED in lines, case
        assert {k: v for k, v in tree(app).items() if k != "updateApp/update.log"} == before, case
        assert backups(app) == [], case
        hook = "run_udafterf" if case in ("escape", "unwritable") else "run_dlafterf"
        assert wait_lines(marker, 1) == [hook], case
        if case == "rename":
            assert "The file name leaves the item's folder: ..\\..\\climbed.bin" in lines
            assert not list(tmp_path.rglob("climbed.bin"))
        if case == "escape":
            assert "Unzip failed." in lines
            assert not list(tmp_path.rglob("evil.txt"))
        if case == "md5":
            assert "which is not equal to the original MD5: " + "0" * 32 in lines
            assert "The Downloaded file's MD5 is " + md5(good) in lines
        if case == "unwritable":
            assert "Successfully restore file: " + wine.winpath(install_dir / "good.bin") in lines
            assert "Successfully restore file: " + wine.winpath(install_dir / "empty.cfg") in lines
            assert "Update failed." in lines
            assert "Successful delete file: " + wine.winpath(app / "new" / "fresh.bin") in lines
            assert not (app / "new").exists()


def start_helper(wine, helper, args, ready, timeout=20):
    """Starts stage_helper.exe and waits for its window; returns the process."""
    proc = wine.popen(helper, args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + timeout
    while not Path(ready).exists():
        assert time.monotonic() < deadline, "the helper did not start"
        time.sleep(0.2)
    return proc


def test_programs_holding_files_are_closed(install_dir, run_updater, wine, http_server, probe,
                                          tmp_path):
    """"close_proc1" names a program that quits when asked; a ".dll" to be
    replaced is held by a running program that ignores the request and is
    terminated after about five seconds."""
    helper = tmp_path / "closeme.exe"
    helper.write_bytes(probe("stage_helper").read_bytes())
    polite = start_helper(wine, helper, ["quit", "Polite helper", wine.winpath(tmp_path / "polite.txt")],
                          tmp_path / "polite.txt")
    # The copy runs as locker.dll from the installation: its own image holds the file.
    spawner = wine.popen(probe("stage_helper"), ["spawn", wine.winpath(install_dir / "locker.dll"),
                                                 "Stubborn helper", wine.winpath(tmp_path / "stubborn.txt")],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    spawner.wait(30)
    deadline = time.monotonic() + 20
    while not (tmp_path / "stubborn.txt").exists():
        assert time.monotonic() < deadline, "the stubborn helper did not start"
        time.sleep(0.2)

    new_dll = payload("locker", 40_000)
    (http_server.root / "locker.dll").write_bytes(new_dll)
    sections = {
        "file0": dict(ver="2", urls=[http_server.url("locker.dll")], **HIDE),
        "system": {"close_proc1": "closeme.exe"},
    }
    install(install_dir, serve_config(http_server, sections), {"file0": "1"})
    clear_downloads(wine)
    started = time.monotonic()
    run = run_updater(install_dir, timeout=90)
    lines = run.log_lines()
    assert run.results == [3, 1], "\n".join(lines)
    assert run.boxes == []
    assert polite.wait(10) is not None
    assert (install_dir / "locker.dll").read_bytes() == new_dll
    assert "Terminate the application (module): closeme.exe" in lines
    assert "Terminate the application (module): locker.dll" in lines
    assert time.monotonic() - started > 5  # the stubborn one was given its five seconds
    assert backups(install_dir) == []
