"""Delta updates under Wine: the real updater makes a file item's new build
from the installed one and a VCDIFF patch (written by xdelta3, the
reference) downloaded from 127.0.0.1, and falls back to the whole file
whenever the patch cannot be used. Installed files are compared byte for
byte; the server's request list shows what was downloaded."""
import hashlib
import shutil
import subprocess

from update_support import (HIDE, RESULT_OK, backups, clear_downloads, crlf, download_folders,
                            ini, install, md5, payload, tree)

FALLBACK = "The patch cannot be used, downloading the whole file: "


def builds(name, size=200_000):
    """An old and a new build of one file: the new one has a changed block,
    an inserted one and a dropped one, as a rebuilt program has."""
    old = payload(name, size)
    new = (old[:20_000] + payload(name + "-changed", 3_000) + old[23_000:90_000] +
           payload(name + "-inserted", 7_000) + old[90_000:150_000] + old[160_000:])
    return old, new


def xdelta(tmp_path, old, new, secondary="none"):
    (tmp_path / "old.bin").write_bytes(old)
    (tmp_path / "new.bin").write_bytes(new)
    subprocess.run(["xdelta3", "-f", "-e", "-S", secondary, "-s", str(tmp_path / "old.bin"),
                    str(tmp_path / "new.bin"), str(tmp_path / "patch.vcdiff")], check=True)
    return (tmp_path / "patch.vcdiff").read_bytes()


def patch_name(name, old):
    return "%s.%s.vcdiff" % (name, md5(old)[:8])


def serve(http_server, install_dir, items):
    (http_server.root / "server.ini").write_bytes(crlf(ini(items)))
    install(install_dir, http_server.url("server.ini"), {s: "1.0" for s in items})


def test_update_from_a_patch_downloads_only_the_patch(install_dir, run_updater, wine,
                                                     http_server, ftp_server, tmp_path):
    old, new = builds("app.exe")
    # A second item whose patch comes from an FTP mirror with a login.
    lib_old, lib_new = builds("lib.dll", 90_000)
    (ftp_server.root / "lib.dll").write_bytes(lib_new)
    (ftp_server.root / patch_name("lib.dll", lib_old)).write_bytes(xdelta(tmp_path, lib_old, lib_new))
    (install_dir / "lib.dll").write_bytes(lib_old)
    ftp_login = ",," + ftp_server.USER + ",," + ftp_server.PASSWORD
    web = http_server.root / "files"
    web.mkdir()
    (web / "app.exe").write_bytes(new)
    patch = xdelta(tmp_path, old, new)
    (web / patch_name("app.exe", old)).write_bytes(patch)
    other_old = payload("older", 1000)
    (install_dir / "app.exe").write_bytes(old)
    serve(http_server, install_dir, {"file0": dict(
        ver="1.1", urls=[http_server.url("files/app.exe")], md5=md5(new).upper(),
        sha256=hashlib.sha256(new).hexdigest(),
        patch0_urls=[http_server.url("files/" + patch_name("app.exe", other_old))],
        patch0_from_md5=md5(other_old),
        patch2_urls=[http_server.url("files/" + patch_name("app.exe", old))],
        patch2_from_md5=md5(old).upper(), **HIDE),
        "file1": dict(ver="1.1", urls=[ftp_server.url("lib.dll") + ftp_login], md5=md5(lib_new),
                      patch0_urls=[ftp_server.url(patch_name("lib.dll", lib_old)) + ftp_login],
                      patch0_from_md5=md5(lib_old), **HIDE)})
    clear_downloads(wine)

    run = run_updater(install_dir, timeout=120)
    lines = run.log_lines()
    assert run.results == [3, 1], "\n".join(lines)
    assert RESULT_OK in lines
    assert (install_dir / "app.exe").read_bytes() == new
    assert (install_dir / "lib.dll").read_bytes() == lib_new
    assert len(patch) < len(new) // 4
    files_asked = [r for r in http_server.requests if r.startswith("/files/")]
    assert files_asked and set(files_asked) == {"/files/" + patch_name("app.exe", old)}, files_asked
    download = [l for l in lines if l.startswith("Download patch: ")]
    assert len(download) == 2 and download[0].startswith(
        "Download patch: " + http_server.url("files/" + patch_name("app.exe", old)) + "-->")
    assert download[1].startswith("Download patch: " + ftp_server.url(patch_name("lib.dll", lib_old)))
    assert "The patch was applied: lib.dll" in lines
    ftp_log = ftp_server._log.read_text(errors="replace")  # pyftpdlib's command log
    assert "RETR %s completed=1" % (ftp_server.root / patch_name("lib.dll", lib_old)) in ftp_log
    assert "RETR %s " % (ftp_server.root / "lib.dll") not in ftp_log
    applied = lines.index("The patch was applied: app.exe")
    assert lines[applied + 1:applied + 4] == ["Verifying the integrity of the file...",
                                              "MD5 checksum success.", "SHA-256 checksum success."]
    assert not any(l.startswith(FALLBACK) for l in lines)
    assert "patch2_from_md5=" + md5(old).upper() in lines
    assert sorted(tree(install_dir.parent)) == ["updateApp/app.exe", "updateApp/lib.dll", "updateApp/ui.dat",
                                                "updateApp/update.dat", "updateApp/update.exe",
                                                "updateApp/update.log"]
    assert backups(install_dir) == [] and download_folders(wine) == []


def test_every_unusable_patch_falls_back_to_the_whole_file(install_dir, run_updater, wine,
                                                          http_server, tmp_path):
    web = http_server.root / "files"
    web.mkdir()
    items, expected, reasons = {}, {}, {}

    def item(index, name, patch=None, patch_from=None, installed=None, with_md5=True, reason=None):
        old, new = builds(name)
        (web / name).write_bytes(new)
        (install_dir / name).write_bytes(old if installed is None else installed)
        values = dict(ver="1.1", urls=[http_server.url("files/" + name)], **HIDE)
        if with_md5:
            values["md5"] = md5(new)
        pname = patch_name(name, old)
        if patch is not None:
            (web / pname).write_bytes(patch(old, new))
        values["patch0_urls"] = [http_server.url("files/" + pname)]
        values["patch0_from_md5"] = md5(old if patch_from is None else patch_from)
        items["file%d" % index] = values
        expected[name] = new
        if reason:
            reasons[name] = reason

    def corrupt(old, new):
        patch = bytearray(xdelta(tmp_path, old, new))
        patch[-40] ^= 0x55  # a byte of the instructions or data
        return bytes(patch)

    item(0, "corrupt.dll", patch=corrupt, reason="the patch cannot be applied: window 0: ")
    item(1, "missing.dll", reason="the patch cannot be downloaded")
    item(2, "djw.dll", patch=lambda o, n: xdelta(tmp_path, o, n, secondary="djw"),
         reason="the patch cannot be applied: the patch uses secondary compression")
    # Made from another build than the one installed, though it claims it:
    # one that already had the new build's changed block.
    item(3, "foreign.dll", patch=lambda o, n: xdelta(tmp_path, n[:23_000] + o[23_000:], n),
         reason="the patch cannot be applied: window 0: the checksum of the decoded window")
    item(4, "unmatched.dll", patch=lambda o, n: xdelta(tmp_path, o, n),
         installed=payload("a build of its own", 50_000),
         reason="no patch applies to the installed file (MD5 %s)" % md5(payload("a build of its own", 50_000)))
    # Without an MD5 the patch is never tried: nothing could check its result.
    item(5, "unchecked.dll", patch=lambda o, n: xdelta(tmp_path, o, n), with_md5=False)
    serve(http_server, install_dir, items)
    clear_downloads(wine)

    run = run_updater(install_dir, timeout=120)
    lines = run.log_lines()
    assert run.results == [3, 1], "\n".join(lines)
    assert RESULT_OK in lines
    for name, data in expected.items():
        assert (install_dir / name).read_bytes() == data, name
        assert "/files/" + name in http_server.requests, name
    fallbacks = [l[len(FALLBACK):] for l in lines if l.startswith(FALLBACK)]
    assert len(fallbacks) == len(reasons), fallbacks
    for (name, reason), got in zip(reasons.items(), fallbacks):
        assert got.startswith(reason), (name, got)
    assert "secondary compression" in fallbacks[2]
    assert not any(r.startswith("/files/unchecked.dll.") or r.startswith("/files/unmatched.dll.")
                   for r in http_server.requests)
    assert not any(p.endswith(".vcdiff") for p in tree(install_dir.parent))
    assert backups(install_dir) == [] and download_folders(wine) == []


def test_designer_package_updates_a_previous_build_from_its_patch(tmp_path, wine, build_dir,
                                                                  http_server, run_updater):
    """Two real builds of the updater stand for the publisher's program: the
    previous one installed, the current one published with its patch."""
    previous_exe = build_dir.parent / "pairs" / "update-previous.exe"
    assert previous_exe.exists(), "run make pairs (tools/update_exe_pair.sh) first"
    old, new = previous_exe.read_bytes(), (build_dir / "update.exe").read_bytes()
    builds_dir = tmp_path / "builds"
    (builds_dir / "1.0").mkdir(parents=True)
    (builds_dir / "1.1").mkdir()
    (builds_dir / "1.0" / "tool.exe").write_bytes(old)
    (builds_dir / "1.1" / "tool.exe").write_bytes(new)
    designer = tmp_path / "Corvane"
    (designer / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", designer / "Corvane.exe")
    shutil.copy2(build_dir / "update.exe", designer / "updateApp" / "update.exe")
    port = http_server.port
    project = tmp_path / "p" / "tool.epj"
    project.parent.mkdir()
    project.write_bytes(crlf("\n".join([
        "[project]", "name=tool", "[system]", f"urls=url0=http://127.0.0.1:{port}/update.ini",
        "closelog=0", "[UI]", "start_win=0", "end_win1=0", "end_win2=0",
        "[file0]", f"urls=url0=http://127.0.0.1:{port}/files/tool.exe", "path={parent}",
        "local_ver=1.0", "file_ver=1.1", "md5=" + md5(new), "op_mode=1", "show_type=2",
        "source_file=" + wine.winpath(builds_dir / "1.1" / "tool.exe"),
        "previous_file0=" + wine.winpath(builds_dir / "1.0" / "tool.exe")]) + "\n"))
    out = tmp_path / "package"
    run = wine.run(designer / "Corvane.exe", ["/build", wine.winpath(project), "/out", wine.winpath(out)],
                   timeout=180)
    assert run.returncode == 0, run.stderr + run.stdout
    patch = patch_name("tool.exe", old)
    assert sorted(p.name for p in out.iterdir()) == sorted(
        [patch, "ui.bin", "update.dat", "update.exe", "update.ini"])
    server_ini = (out / "update.ini").read_text()
    assert f"patch0_urls=url0=http://127.0.0.1:{port}/files/{patch}" in server_ini.splitlines()
    assert "patch0_from_md5=" + md5(old) in server_ini.splitlines()

    # What the publishing guide says to upload: the server-side file, the
    # new build and its patches beside it.
    shutil.copy2(out / "update.ini", http_server.root / "update.ini")
    (http_server.root / "files").mkdir()
    (http_server.root / "files" / "tool.exe").write_bytes(new)
    shutil.copy2(out / patch, http_server.root / "files" / patch)
    app = tmp_path / "app"
    updater = app / "updateApp"
    updater.mkdir(parents=True)
    for name in ("update.exe", "ui.bin", "update.dat"):
        shutil.copy2(out / name, updater / name)
    (app / "tool.exe").write_bytes(old)
    clear_downloads(wine)

    result = run_updater(updater, timeout=120)
    assert result.results == [3, 1], result.log()
    assert (app / "tool.exe").read_bytes() == new
    asked = [r for r in http_server.requests if r.startswith("/files/")]
    assert asked and set(asked) == {"/files/" + patch}, asked
    assert "The patch was applied: tool.exe" in result.log_lines()
    print("tool.exe: %d bytes whole, patch %d bytes" % (len(new), (out / patch).stat().st_size))


def test_file_page_takes_the_builds_and_the_package_patches_them(tmp_path, wine, testhost,
                                                                  build_dir, http_server):
    """Driven through the designer's window: "Update file:" fills both
    digests, "Previous builds:" takes, refuses a repeat and removes; the
    saved project builds a patch for each remaining build."""
    import winrig
    old1, new = builds("tool.exe")
    old2 = old1[:5000] + b"the second build" + old1[5016:]
    files = tmp_path / "builds"
    files.mkdir()
    for name, data in (("1.0.exe", old1), ("1.1.exe", old2), ("2.0.exe", new), ("x.exe", b"x")):
        (files / name).write_bytes(data)
    designer = tmp_path / "Corvane"
    (designer / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", designer / "Corvane.exe")
    shutil.copy2(build_dir / "update.exe", designer / "updateApp" / "update.exe")
    projects = tmp_path / "projects"
    projects.mkdir()
    w = wine.winpath
    script = [
        "click &New", "window Create A New Project",
        "type next:Project Name:\ttool", f"type next:Path:\t{w(projects)}", "click Cre&ate",
        "window main",
        "tab 0", "pick #1213\thttp://", "type #1214\t127.0.0.1/update.ini", "click Add",
        "tab 1", "type #1302\t2.0",
        "pick #1213\thttp://", "type #1214\t127.0.0.1/files/tool.exe", "click Add",
        "click #1316", f"filedlg {w(files / '2.0.exe')}",
        "text #1315", "text #1305", "text #1314",
        "click #1318", f"filedlg {w(files / 'x.exe')}",
        "click #1318", f"filedlg {w(files / '1.0.exe')}",
        "click #1318", f"filedlg {w(files / '1.0.exe')}", "box ok",
        "click #1318", f"filedlg {w(files / '1.1.exe')}",
        "pick #1317\t" + w(files / "x.exe"), "click #1319", "list #1317",
        "click &Save", "close", "waitexit",
    ]
    run = winrig.drive(wine, testhost, designer / "Corvane.exe", script)
    assert not run.errors, run.record
    assert run.results("TEXT") == [w(files / "2.0.exe"), md5(new), hashlib.sha256(new).hexdigest()]
    assert run.boxes() == [("Corvane", "Already exists in the list.")]
    assert run.results("LIST") == [w(files / "1.0.exe") + "|" + w(files / "1.1.exe")]
    project = projects / "tool" / "tool.epj"
    saved = project.read_text().splitlines()
    for line in ("source_file=" + w(files / "2.0.exe"), "previous_file0=" + w(files / "1.0.exe"),
                 "previous_file1=" + w(files / "1.1.exe"), "md5=" + md5(new)):
        assert line in saved, line

    out = tmp_path / "package"
    built = wine.run(designer / "Corvane.exe", ["/build", w(project), "/out", w(out)], timeout=180)
    assert built.returncode == 0, built.stderr + built.stdout
    server_ini = (out / "update.ini").read_text().splitlines()
    for n, old in enumerate((old1, old2)):
        patch = out / patch_name("tool.exe", old)
        assert patch.exists() and patch.stat().st_size < len(new) // 4
        applied = subprocess.run(["xdelta3", "-d", "-c", "-s", str(files / ("1.%d.exe" % n)), str(patch)],
                                 capture_output=True, check=True).stdout
        assert applied == new
        assert "patch%d_from_md5=%s" % (n, md5(old)) in server_ini

    # A previous build that has gone: the build stops and names it.
    (files / "1.1.exe").unlink()
    failed = wine.run(designer / "Corvane.exe", ["/build", w(project), "/out", w(out)], timeout=180)
    assert failed.returncode != 0
    assert "Failed to read the previous build: " + w(files / "1.1.exe") in failed.stderr
