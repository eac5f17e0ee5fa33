"""The crash matrix: the real update stage of a two-item update (data.txt
replaced, pack.zip unpacked over readme.txt and adding extra/new.txt) is
killed by TerminateProcess after each of its steps in turn (crash_stage.exe
runs the updater's own stage code on the real file system). After every kill
the next start of the real update.exe, a check-only run, leaves the
installation byte for byte as before the update with no stray file (or, when
the kill came after the stage's commit, as after it), and a full run then
completes the update."""
import io
import os
import shutil
import zipfile

from update_support import HIDE, crlf, ini, install, md5, payload, tree, clear_downloads

KILLED = 99
RECOVERED = "The interrupted update was rolled back; the files are as before it."
FINISHED = "The interrupted update had installed every file; its backups were removed."
ITEMS = ["file0=data.txt", "file1=pack.zip,unzip"]


def installed(app):
    """Every file of the installation (its bytes) but the log, which each
    run extends, and every folder (None)."""
    files = {k: v for k, v in tree(app).items() if not k.endswith("update.log")}
    folders = {str(p.relative_to(app)).replace(os.sep, "/") + "/": None
               for p in app.rglob("*") if p.is_dir()}
    return {**files, **folders}


def restore(app, snapshot):
    shutil.rmtree(app)
    for rel, data in snapshot.items():
        path = app / rel
        if data is None:
            path.mkdir(parents=True, exist_ok=True)
        else:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)


def test_every_kill_point_is_undone_at_the_next_start(install_dir, run_updater, wine, http_server,
                                                      probe, tmp_path):
    app = install_dir.parent
    new = {"data.txt": payload("data", 40_000), "readme.txt": payload("readme", 9_000),
           "new.txt": payload("new", 3_000)}
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("readme.txt", new["readme.txt"])
        z.writestr("extra/new.txt", new["new.txt"])
    pack = buffer.getvalue()
    (http_server.root / "data.txt").write_bytes(new["data.txt"])
    (http_server.root / "pack.zip").write_bytes(pack)
    sections = {
        "file0": dict(ver="1.1", urls=[http_server.url("data.txt")], md5=md5(new["data.txt"]), **HIDE),
        "file1": dict(ver="1.1", urls=[http_server.url("pack.zip")], md5=md5(pack), uncompress=1,
                      **HIDE),
    }
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    install(install_dir, http_server.url("server.ini"), {"file0": "1.0", "file1": "1.0"})
    (install_dir / "data.txt").write_bytes(b"old data")
    (install_dir / "readme.txt").write_bytes(b"old readme")
    (install_dir / "keep.txt").write_bytes(b"untouched")
    before = installed(app)

    # The downloads as the download stage leaves them, for the probe.
    downloads = tmp_path / "downloads"
    (downloads / "file0").mkdir(parents=True)
    (downloads / "file1").mkdir()
    (downloads / "file0" / "data.txt").write_bytes(new["data.txt"])
    (downloads / "file1" / "pack.zip").write_bytes(pack)
    folders = [wine.winpath(install_dir) + "\\", wine.winpath(downloads) + "\\"]

    def stage(kill_after):
        return wine.run(probe("crash_stage"), [kill_after, *folders, *ITEMS], timeout=60)

    whole = stage(0)
    assert "result 1" in whole.stdout, whole.stdout
    total = int(whole.stdout.split("steps ")[1].split()[0])
    after = installed(app)
    assert after["updateApp/data.txt"] == new["data.txt"]
    assert after["updateApp/extra/new.txt"] == new["new.txt"]
    assert set(after) == set(before) | {"updateApp/extra/", "updateApp/extra/new.txt"}
    assert "update.jnl" not in os.listdir(install_dir)

    survived, rolled_back, finished = 0, 0, 0
    for kill_after in range(1, total + 1):
        restore(app, before)
        killed = stage(kill_after)
        assert killed.returncode == KILLED, (kill_after, killed.stdout)
        journal_left = (install_dir / "update.jnl").exists()

        check = run_updater(install_dir, args="/HWND:{hwnd} /OP:CheckVer /log", timeout=60)
        lines = check.log_lines()
        now = installed(app)
        if FINISHED in lines or not journal_left:
            # Past the commit the stage is finished instead; the journal is
            # gone only after the very last step.
            assert journal_left or kill_after == total, kill_after
            finished += 1
            assert now == after, kill_after
            assert check.results == [2], (kill_after, check.record)
        else:
            assert now == before, (kill_after, sorted(set(now) ^ set(before)),
                                   [k for k in now if now.get(k) != before.get(k)])
            assert check.results == [3], (kill_after, check.record)
            if RECOVERED in lines:  # written once the log is open, after the banner
                rolled_back += 1
                assert lines.index(RECOVERED) > lines.index("Get Directory Constants:")
            # Every kill that left a journal was undone by the recovery.
            assert not journal_left or RECOVERED in lines, (kill_after, lines)

        clear_downloads(wine)
        full = run_updater(install_dir, timeout=90)
        assert installed(app) == after, (kill_after, full.record)
        assert full.results in ([3, 1], [2]), (kill_after, full.record)
        survived += 1

    print("kill points: %d tried, %d survived (%d rolled back, %d finished after the commit)"
          % (total, survived, rolled_back, finished))
    assert survived == total and finished >= 1 and rolled_back >= total // 2
