"""The update with its wizard on screen under Wine: the test host answers the
question before updating, presses the pages' buttons by caption and answers
the cancel question of the download page."""
import time

from update_support import (RESULT_FAILED, backups, clear_downloads, crlf, ini, install, md5,
                            payload, tree)

START_BOX = ("Information", "Have new version, now upgrade it?")
CANCEL_BOX = ("Information", "Do you want to cancel this upgrade?")
WIZARD = {"show_type": 0, "op_mode": 0}
SIZE = 1_500_000


SERVED = []  # bytes sent by each request of the slow route


def slow_route(http_server, name, data, chunk=30_000, pause=0.03):
    """Serves `data` slowly, so that the test host can act during the download."""
    def handler(h):
        h.send_response(200)
        h.send_header("Content-Length", str(len(data)))
        h.end_headers()
        if h.command == "HEAD":
            return
        SERVED.append(0)
        me = len(SERVED) - 1
        for at in range(0, len(data), chunk):
            try:
                h.wfile.write(data[at:at + chunk])
                h.wfile.flush()
            except OSError:  # the status check reads the head only
                return
            SERVED[me] += len(data[at:at + chunk])
            time.sleep(pause)

    SERVED.clear()
    http_server.route("/" + name, handler)
    return http_server.url(name)


def prepare(install_dir, http_server, data, mode=WIZARD, start_win=1):
    (install_dir / "app.dat").write_bytes(b"old")
    sections = {
        "file0": dict(ver="2.0", urls=[slow_route(http_server, "app.dat", data)], md5=md5(data), **mode),
        "UI": {"start_win": start_win},
    }
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    install(install_dir, http_server.url("server.ini"), {"file0": "1.0"})


def test_wizard_clicked_through_with_a_declined_cancel(install_dir, run_updater, wine,
                                                       http_server):
    data = payload("wizard", SIZE)
    prepare(install_dir, http_server, data)
    clear_downloads(wine)
    steps = ("yes", "click:&Next", "sleep:300", "click:E&xit", "sleep:1500", "no",
             "click:&Continue", "click:&Next", "click:&Finished")
    run = run_updater(install_dir, answers=steps, timeout=120)
    assert run.exited and not run.timed_out, run.record
    assert run.boxes == [START_BOX, CANCEL_BOX], run.record
    assert run.results == [3, 1], run.log_lines()
    assert (install_dir / "app.dat").read_bytes() == data
    # The paused transfer went on where it stopped: one request sent every
    # byte, and no other request more than a start.
    assert sorted(SERVED)[-1] == SIZE and sum(SERVED) < SIZE + SIZE // 4, SERVED
    assert backups(install_dir) == []
    assert run.record.count("CLICK") == 5


def test_cancel_on_the_download_page_changes_nothing(install_dir, run_updater, wine, http_server):
    data = payload("cancelled", SIZE)
    prepare(install_dir, http_server, data)
    before = tree(install_dir)
    clear_downloads(wine)
    steps = ("yes", "click:&Next", "sleep:300", "click:E&xit", "yes")
    run = run_updater(install_dir, answers=steps, timeout=90)
    assert run.exited and not run.timed_out, run.record
    # The user cancelled: no "download failed" box after the question.
    assert run.boxes == [START_BOX, CANCEL_BOX], run.record
    assert run.results == [3, -1]
    lines = run.log_lines()
    assert lines.index(RESULT_FAILED) + 1 == lines.index(
        "Download failure or forced out of the download process.")
    assert {k: v for k, v in tree(install_dir).items() if k != "update.log"} == \
        {k: v for k, v in before.items() if k != "update.log"}


def test_normal_automatic_runs_without_a_click(install_dir, run_updater, wine, http_server):
    data = payload("automatic", 200_000)
    prepare(install_dir, http_server, data, mode={"show_type": 0, "op_mode": 1}, start_win=0)
    clear_downloads(wine)
    run = run_updater(install_dir, answers=("ok",), timeout=90)
    assert run.exited and not run.timed_out, run.record
    assert run.boxes == [("information", "The upgrade is finished!")]
    assert run.results == [3, 1]
    assert (install_dir / "app.dat").read_bytes() == data
    assert "CLICK" not in run.record


def test_failed_update_on_screen_says_so_and_rolls_back(install_dir, run_updater, wine,
                                                        http_server):
    data = payload("blocked", 100_000)
    prepare(install_dir, http_server, data, mode={"show_type": 0, "op_mode": 1}, start_win=0)
    sections = {
        "file0": dict(ver="2.0", urls=[http_server.url("app.dat")], md5=md5(data), show_type=0, op_mode=1),
        "file1": dict(ver="2.0", urls=[http_server.url("app.dat")], rename="blocked.dat", show_type=0, op_mode=1),
        "UI": {"start_win": 0},
    }
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    install(install_dir, http_server.url("server.ini"), {"file0": "1.0", "file1": "1.0"})
    (install_dir / "blocked.dat").mkdir()
    before = tree(install_dir)
    clear_downloads(wine)
    run = run_updater(install_dir, answers=("ok", "ok"), timeout=90)
    assert run.exited and not run.timed_out, run.record
    blocked = wine.winpath(install_dir / "blocked.dat")
    assert run.boxes == [("Information", "\nFailed to update the file: %s\n" % blocked),
                         ("Information", "Upgrade failed!")], run.record
    assert run.results == [3, -1]
    assert {k: v for k, v in tree(install_dir).items() if k != "update.log"} == \
        {k: v for k, v in before.items() if k != "update.log"}
