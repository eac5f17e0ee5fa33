"""The self-update relay under Wine: the downloaded copy replaces the installed
updater, records the versions, puts waiting configuration files in place and
hands over to the installed updater, which removes the copy and carries on."""
import shutil
import subprocess
import time
from pathlib import Path

SAMPLE_UI = Path(__file__).resolve().parents[2] / "samples" / "ui" / "ui.dat"

CONFIG = """[system]
closelog=0
urls=url0={url}
[file0]
ver={self_ver}
[file1]
ver=1.0
"""
SERVER = """[file0]
ver=2.0
urls=url0=http://127.0.0.1:9/update.exe
[file1]
ver=1.0
urls=url0=http://127.0.0.1:9/lib.dll
"""


def crlf(text):
    return text.replace("\n", "\r\n").encode()


def new_updater(install_dir, installed_name):
    """The built updater with some bytes appended: it runs, and can be told apart."""
    shutil.copy2(SAMPLE_UI, install_dir / "ui.dat")
    data = (install_dir / "update.exe").read_bytes() + b"\0CORVANE-NEXT-VERSION\0"
    if installed_name != "update.exe":
        (install_dir / "update.exe").rename(install_dir / installed_name)
    (install_dir / (installed_name + ".exe")).write_bytes(data)
    return data


def serve_config(http_server, self_ver):
    (http_server.root / "server.ini").write_bytes(crlf(SERVER.replace("ver=2.0", "ver=" + self_ver)))
    return http_server.url("server.ini")


def banners(run):
    return [l for l in run.log_lines() if l.startswith("********  Corvane update program")]


def test_copy_replaces_installed_updater_and_puts_new_configuration_in_place(
        install_dir, run_updater, http_server):
    url = serve_config(http_server, "2.0")
    (install_dir / "update.dat").write_bytes(crlf(CONFIG.format(url=url, self_ver="1.0")))
    # The new local configuration already knows the new versions.
    new_config = crlf(CONFIG.format(url=url, self_ver="2.0")) + b"; shipped with 2.0\r\n"
    (install_dir / "update.dat.ubk").write_bytes(new_config)
    (install_dir / "update.log").write_text("a run before the self-update\r\n")
    served = new_updater(install_dir, "update.exe")

    run = run_updater(install_dir, program="update.exe.exe",
                      args="/HWND:{hwnd} /log /self_update:0-2.0,1-1.0",
                      answers=("until-result",), timeout=60)
    assert (install_dir / "update.exe").read_bytes() == served
    assert not (install_dir / "update.exe.exe").exists()
    assert not (install_dir / "update.exe.new").exists()
    assert (install_dir / "update.dat").read_bytes() == new_config
    assert not (install_dir / "update.dat.ubk").exists()
    # The finishing run found nothing newer and told the host so.
    assert run.results == [2], run.record
    assert run.boxes == []
    # The copy ran without a log and removed it; only the finishing run wrote one.
    assert len(banners(run)) == 1
    assert "a run before the self-update" not in run.log()


def test_updater_under_another_name_records_its_version(install_dir, run_updater, http_server):
    url = serve_config(http_server, "2.0")
    (install_dir / "update.dat").write_bytes(crlf(CONFIG.format(url=url, self_ver="1.0")))
    (install_dir / "update.dat.ubk").write_bytes(b"[system]\r\nnot=moved\r\n")
    served = new_updater(install_dir, "myupd.exe")

    run = run_updater(install_dir, program="myupd.exe.exe", args="/HWND:{hwnd} /self_update:0-2.0",
                      answers=("until-result",), timeout=60)
    assert (install_dir / "myupd.exe").read_bytes() == served
    assert not (install_dir / "myupd.exe.exe").exists()
    text = (install_dir / "update.dat").read_bytes().decode()
    assert "[file0]\r\nver=2.0\r\n" in text and "[file1]\r\nver=1.0\r\n" in text
    # One entry only: the waiting configuration stays where it is.
    assert (install_dir / "update.dat.ubk").exists()
    assert run.results == [2], run.record


def test_copy_that_cannot_replace_the_installed_updater_changes_nothing(
        wine, probe, install_dir, run_updater, http_server, tmp_path):
    url = serve_config(http_server, "2.0")
    config = crlf(CONFIG.format(url=url, self_ver="1.0"))
    (install_dir / "update.dat").write_bytes(config)
    installed = (install_dir / "update.exe").read_bytes()
    served = new_updater(install_dir, "update.exe")
    ready = tmp_path / "held.ready"
    holder = wine.popen(probe("hold_file"), [wine.winpath(install_dir / "update.exe"), "12",
                                             wine.winpath(ready)],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while not ready.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        assert ready.exists(), "the helper did not take the file"
        run = run_updater(install_dir, program="update.exe.exe", args="/HWND:{hwnd} /self_update:0-2.0",
                          timeout=20)
    finally:
        holder.wait(60)
    assert run.exited and run.results == [] and run.boxes == []
    assert (install_dir / "update.exe").read_bytes() == installed
    assert (install_dir / "update.exe.exe").read_bytes() == served
    assert (install_dir / "update.dat").read_bytes() == config
    assert not (install_dir / "update.exe.new").exists()
    # The installed updater still starts and finds its new version again.
    check = run_updater(install_dir, args="/OP:CheckVer /HWND:{hwnd} /log")
    assert check.exited
    assert "Find self upgrade." in check.log_lines()


def test_whole_relay_from_the_download_to_the_finishing_update(install_dir, run_updater, wine,
                                                             http_server):
    from update_support import HIDE, RESULT_OK, clear_downloads, ini, install, local_versions

    served = new_updater(install_dir, "update.exe")
    (install_dir / "update.exe.exe").unlink()
    web = http_server.root / "files"
    web.mkdir()
    (web / "update.exe").write_bytes(served)
    (web / "lib.dat").write_bytes(b"new library " * 1000)
    config_url = http_server.url("server.ini")
    items = {
        "file0": dict(ver="2.0", urls=[http_server.url("files/update.exe")], **HIDE),
        "file1": dict(ver="1.5", urls=[http_server.url("files/update.dat")], **HIDE),
        "file2": dict(ver="1.1", urls=[http_server.url("files/lib.dat")], **HIDE),
    }
    (http_server.root / "server.ini").write_bytes(crlf(ini(items)))
    # The local configuration shipped with the new updater knows its own
    # versions, not yet the library's.
    (web / "update.dat").write_bytes(crlf(ini({
        "system": {"closelog": 0, "urls": "url0=" + config_url},
        "file0": {"ver": "2.0"}, "file1": {"ver": "1.5"}, "file2": {"ver": "1.0"}})))
    install(install_dir, config_url, {"file0": "1.0", "file1": "1.0", "file2": "1.0"})
    (install_dir / "update.log").write_text("a run before the self-update\r\n")
    clear_downloads(wine)

    run = run_updater(install_dir, args="/HWND:{hwnd} /log", answers=("until-result",), timeout=120)
    assert run.boxes == [], run.record
    assert (install_dir / "update.exe").read_bytes() == served
    assert not (install_dir / "update.exe.exe").exists()
    assert not (install_dir / "update.dat.ubk").exists()
    assert (install_dir / "lib.dat").read_bytes() == b"new library " * 1000
    assert local_versions(install_dir) == {"file0": "2.0", "file1": "1.5", "file2": "1.1"}
    # The host hears the finishing run only: the new version, then success.
    assert run.results == [3, 1], run.record
    lines = run.log_lines()
    assert len(banners(run)) == 1 and RESULT_OK in lines
    assert "Check self upgrade." in lines and "Find self upgrade." not in lines
