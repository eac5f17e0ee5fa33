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
import subprocess
import time
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


def prepare(install_dir, wine, http_server, probe, tmp_path):
    """The two-item update served and installed at 1.0, its downloads laid
    out for the probe. Gives the installation before the update and a
    function that runs the probe's stage with a kill point and extra
    arguments."""
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

    def stage(kill_after, *extra):
        return wine.run(probe("crash_stage"), [kill_after, *folders, *ITEMS, *extra], timeout=60)

    return new, before, stage


def local_write_steps(stdout):
    """The steps of the probe's run that renamed the local file's temporary
    copy over it, by the probe's "step <n> moved <from> -> <to>" lines."""
    return [int(line.split()[1]) for line in stdout.splitlines()
            if line.startswith("step ") and line.endswith("update.dat")]


def test_every_kill_point_is_undone_at_the_next_start(install_dir, run_updater, wine, http_server,
                                                      probe, tmp_path):
    app = install_dir.parent
    new, before, stage = prepare(install_dir, wine, http_server, probe, tmp_path)

    whole = stage(0)
    assert "result 1" in whole.stdout, whole.stdout
    total = int(whole.stdout.split("steps ")[1].split()[0])
    after = installed(app)
    assert after["updateApp/data.txt"] == new["data.txt"]
    assert after["updateApp/extra/new.txt"] == new["new.txt"]
    assert set(after) == set(before) | {"updateApp/extra/", "updateApp/extra/new.txt"}
    assert "update.jnl" not in os.listdir(install_dir)
    # The local file is replaced by a rename; a kill just before it leaves
    # the written temporary copy beside the old file.
    [rename_step] = local_write_steps(whole.stdout)
    temp_left = 0

    survived, rolled_back, finished = 0, 0, 0
    for kill_after in range(1, total + 1):
        restore(app, before)
        killed = stage(kill_after)
        assert killed.returncode == KILLED, (kill_after, killed.stdout)
        journal_left = (install_dir / "update.jnl").exists()
        if kill_after == rename_step - 1:
            temp_left += (install_dir / "update.dat.tmp").exists()
            assert (install_dir / "update.dat").read_bytes() == before["updateApp/update.dat"]

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
    assert temp_left == 1


def hold(wine, probe, path, seconds, ready):
    """hold_file.exe on `path` (readers only) until it has the file."""
    holder = wine.popen(probe("hold_file"), [wine.winpath(path), seconds, wine.winpath(ready)],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while not ready.exists() and time.monotonic() < deadline:
        time.sleep(0.2)
    assert ready.exists(), "the helper did not take the file"
    return holder


def test_a_torn_journal_and_a_held_file_are_settled_by_a_later_start(
        install_dir, run_updater, wine, http_server, probe, tmp_path):
    """Killed after every file and the local file were written, the journal
    torn by the power loss, and data.txt held by another program at the next
    start: that start restores what it can, the one after it settles the
    rest, and the next update installs. Then a back-up held while the stage
    removes it keeps the journal until the next start removes both."""
    app = install_dir.parent
    new, before, stage = prepare(install_dir, wine, http_server, probe, tmp_path)
    whole = stage(0)
    assert "result 1" in whole.stdout, whole.stdout
    after = installed(app)
    [rename_step] = local_write_steps(whole.stdout)

    restore(app, before)
    assert stage(rename_step).returncode == KILLED
    journal = install_dir / "update.jnl"
    with open(journal, "ab") as f:
        f.write(b"W\t-1\tC:\\half a rec")  # the record being written when the power went
    data = install_dir / "data.txt"
    holder = hold(wine, probe, data, "10", tmp_path / "held.ready")
    try:
        first = run_updater(install_dir, args="/HWND:{hwnd} /OP:CheckVer /log", timeout=60)
    finally:
        holder.wait(60)
    lines = first.log_lines()
    assert "Failed to restore file: " + wine.winpath(data) in lines, lines
    assert "The interrupted update could not be settled; its journal and backups are kept." in lines
    assert data.read_bytes() == new["data.txt"] and journal.exists()
    assert (install_dir / "readme.txt").read_bytes() == b"old readme"

    second = run_updater(install_dir, args="/HWND:{hwnd} /OP:CheckVer /log", timeout=60)
    assert RECOVERED in second.log_lines(), second.log_lines()
    assert installed(app) == before  # no .ebk, no journal, every file as before
    clear_downloads(wine)
    full = run_updater(install_dir, timeout=90)
    assert full.results == [3, 1], full.record
    assert installed(app) == after

    # The back-up of data.txt is held from its copy on: the stage succeeds,
    # cannot delete it, and keeps the journal.
    restore(app, before)
    ebk = install_dir / "data.txt.ebk"
    held = stage(0, "hold=" + wine.winpath(ebk))
    assert "result 1" in held.stdout and "held %s 1" % wine.winpath(ebk) in held.stdout, held.stdout
    assert "log Failed to delete file: " + wine.winpath(ebk) in held.stdout
    assert ebk.exists() and journal.exists()
    check = run_updater(install_dir, args="/HWND:{hwnd} /OP:CheckVer /log", timeout=60)
    assert FINISHED in check.log_lines(), check.log_lines()
    assert installed(app) == after
