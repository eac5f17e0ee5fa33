"""The update check under Wine: the server-side configuration fetched over
HTTP, file:// and FTP by the real updater, the result posted to the host and
the lines of update.log."""
import shutil
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SAMPLE_UI = REPO / "samples" / "ui" / "ui.dat"
DEAD_URL = "http://127.0.0.1:9/server.ini"  # the discard port: nothing listens
FAILURE = ("Failed to download the configuration file, may be network configuration errors "
           "or unreasonable!")

SERVER_NEW = """[file0]
ver=1.1
urls=url0=http://127.0.0.1:9/files/app.exe
path={parent}
describe=Main program
[file1]
ver=1.0
urls=url0=http://127.0.0.1:9/files/lib.dll
[UI]
start_win=0
"""
SERVER_SAME = SERVER_NEW.replace("ver=1.1", "ver=1.0")


def crlf(text):
    return text.replace("\n", "\r\n").encode()


def install(folder, urls, extra=""):
    """A logged installation whose file0 and file1 are at 1.0."""
    shutil.copy2(SAMPLE_UI, folder / "ui.dat")
    (folder / "update.dat").write_bytes(crlf(
        "[system]\ncloselog=0\nurls=" + urls + "\n" + extra + "[file0]\nver=1.0\n[file1]\nver=1.0\n"))


def check_only(run_updater, folder, **kwargs):
    return run_updater(folder, args="/OP:CheckVer /HWND:{hwnd} /log", **kwargs)


def after(lines, first):
    """The lines from the first one equal to `first` on."""
    assert first in lines, f"{first!r} not logged:\n" + "\n".join(lines)
    return lines[lines.index(first):]


def test_http_check_finds_new_version_and_posts_3(install_dir, run_updater, http_server):
    (http_server.root / "cfg").mkdir()
    (http_server.root / "cfg" / "server.ini").write_bytes(crlf(SERVER_NEW))
    url = http_server.url("cfg/server.ini")
    install(install_dir, "url0=" + url)
    run = check_only(run_updater, install_dir)
    assert run.exited and run.boxes == []
    assert run.results == [3]
    lines = run.log_lines()
    assert after(lines, "Analysis of the local configuration file: update.dat")[:12] == [
        "Analysis of the local configuration file: update.dat",
        "[system]",
        "urls=url0=" + url,
        "randomsel=0",
        "tryallurl=0",
        "-- The following list only users defined in [fileX] or [dirX]:",
        "[file0]", "ver=1.0", "[file1]", "ver=1.0",
        "Download server-side configuration file: " + url,
        "Analysis of server-side configuration files.",
    ]
    assert after(lines, "[file0]")[6:12] == [
        "-- The following list only effective [fileX] or [dirX] (That a new version is found.)",
        "[file0]", "urls=url0=http://127.0.0.1:9/files/app.exe", "ver=1.1",
        "-- Find new version", "randomsel=0"]
    tail = after(lines, "Analysis of server-side configuration files. Result:")
    assert tail[:3] == ["Analysis of server-side configuration files. Result:",
                        "Operation mode: Wizard-style", "Display style: Normal"]
    assert "-- Find 1 valid items" in lines
    assert after(lines, "Version Comparison.")[-2:] == [
        "Find new version.", 'Send the message(3) "Find new version" to the host program.']
    assert "/cfg/server.ini" in http_server.requests


def test_binary_local_file_and_no_new_version_posts_2(install_dir, run_updater, http_server):
    (http_server.root / "server.ini").write_bytes(crlf(SERVER_SAME))
    shutil.copy2(SAMPLE_UI, install_dir / "ui.dat")
    text = crlf("[system]\ncloselog=0\nurls=url0=" + http_server.url("server.ini") +
                "\n[file0]\nver=1.0\n[file1]\nver=1.0\n")
    with zipfile.ZipFile(install_dir / "update.bin", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("update.dat", text)
    # The text form beside it names a dead server; it must not be read.
    (install_dir / "update.dat").write_bytes(crlf("[system]\ncloselog=0\nurls=url0=" + DEAD_URL + "\n"))
    run = check_only(run_updater, install_dir)
    assert run.results == [2]
    lines = run.log_lines()
    assert "Analysis of the local configuration file: update.bin" in lines
    assert "-- Find 0 valid items" in lines
    assert "Display style: Hide" in lines
    assert after(lines, "Version Comparison.")[-2:] == [
        'Send the message(2) "The new version not found" to the host program.', "No new version."]


def test_http_404_is_logged_and_fails_the_check(install_dir, run_updater, http_server):
    install(install_dir, "url0=" + http_server.url("missing.ini"))
    run = check_only(run_updater, install_dir)
    assert run.results == [-1]
    assert run.boxes == []  # a failed download shows no box
    lines = run.log_lines()
    assert lines[-3:] == ["Download server-side configuration file: " + http_server.url("missing.ini"),
                          "Http error 404: Not Found", FAILURE]


def test_tryallurl_goes_on_after_a_dead_url(install_dir, run_updater, http_server):
    (http_server.root / "server.ini").write_bytes(crlf(SERVER_NEW))
    good = http_server.url("server.ini")
    install(install_dir, "url0=" + DEAD_URL + ";;url1=" + good, extra="tryallurl=1\n")
    run = check_only(run_updater, install_dir)
    assert run.results == [3]
    lines = run.log_lines()
    assert after(lines, "Download server-side configuration file: " + DEAD_URL)[:3] == [
        "Download server-side configuration file: " + DEAD_URL,
        "Download failed.",
        "Download server-side configuration file: " + good]


def test_file_url_with_backslashes(install_dir, run_updater, wine, tmp_path):
    share = tmp_path / "share folder"
    share.mkdir()
    (share / "server.ini").write_bytes(crlf(SERVER_NEW))
    entry = "file://" + wine.winpath(share / "server.ini").replace(" ", "%20")
    install(install_dir, "url0=" + entry)
    run = check_only(run_updater, install_dir)
    assert run.results == [3]
    assert ("Download server-side configuration file: " + entry.replace("\\", "/")) in run.log_lines()


def test_ftp_with_user_and_password(install_dir, run_updater, ftp_server):
    (ftp_server.root / "cfg").mkdir()
    (ftp_server.root / "cfg" / "server.ini").write_bytes(crlf(SERVER_NEW))
    url = ftp_server.url("cfg/server.ini")
    install(install_dir, "url0=" + url + ",," + ftp_server.USER + ",," + ftp_server.PASSWORD)
    run = check_only(run_updater, install_dir)
    assert run.results == [3]
    lines = run.log_lines()
    assert after(lines, "Download server-side configuration file: " + url)[:6] == [
        "Download server-side configuration file: " + url,
        "Connect FTP server.",
        "Set the current directory: /cfg/",
        "Open file: server.ini",
        "Start download.",
        "Analysis of server-side configuration files.",
    ]
    assert ftp_server.connections >= 1


def test_error_page_outside_the_status_table_is_no_configuration(install_dir, run_updater,
                                                                  http_server):
    # A 503 passes the status check; its body must still not be taken for the
    # configuration, or a busy server would read as "no new version".
    def busy(handler):
        body = crlf(SERVER_SAME)
        handler.send_response(503)
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        if handler.command != "HEAD":
            handler.wfile.write(body)

    http_server.route("/server.ini", busy)
    install(install_dir, "url0=" + http_server.url("server.ini"))
    run = check_only(run_updater, install_dir)
    assert run.results == [-1]
    assert run.log_lines()[-1] == FAILURE


def test_question_before_updating_and_its_no(install_dir, run_updater, http_server):
    (http_server.root / "server.ini").write_bytes(
        crlf(SERVER_NEW.replace("start_win=0", "start_win=1")))
    install(install_dir, "url0=" + http_server.url("server.ini"))
    run = run_updater(install_dir, args="/HWND:{hwnd} /log", answers=("no",))
    assert run.boxes == [("Information", "Have new version, now upgrade it?")]
    assert run.results == [3]
    assert run.log_lines()[-3:] == [
        "Find new version.", 'Send the message(3) "Find new version" to the host program.',
        "Exit the upgrade process."]


def test_hidden_run_asks_no_question(install_dir, run_updater, http_server):
    hidden = SERVER_NEW.replace("start_win=0", "start_win=1").replace(
        "describe=Main program", "describe=Main program\nshow_type=2\nop_mode=1")
    (http_server.root / "server.ini").write_bytes(crlf(hidden))
    install(install_dir, "url0=" + http_server.url("server.ini"))
    run = run_updater(install_dir, args="/HWND:{hwnd} /log", answers=("no",), timeout=90)
    assert run.boxes == []
    assert run.results[:1] == [3]
    assert "Display style: Hide" in run.log_lines()
    assert "Exit the upgrade process." not in run.log_lines()


def test_no_update_box_is_shown_even_in_a_hidden_run(install_dir, run_updater, http_server):
    # Nothing new leaves the run "Hide"; the box asked for is shown all the same.
    (http_server.root / "server.ini").write_bytes(
        crlf(SERVER_SAME + "noupdate_win=1\nnoupdate_win_msg=Nothing here\n"))
    install(install_dir, "url0=" + http_server.url("server.ini"))
    run = run_updater(install_dir, args="/HWND:{hwnd} /log")
    assert run.boxes == [("Information", "\nNothing here\n")]
    assert run.results == [2]
    assert run.log_lines()[-2:] == [
        'Send the message(2) "The new version not found" to the host program.', "No new version."]
