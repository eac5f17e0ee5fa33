"""The updater's start-up under Wine: local configuration errors, the single
instance, the command-line rules and the log's banner and lifetime."""
import zipfile

NOT_FOUND = "Error: Local configuration file (update.dat) not found."
BIN_PARSE = "Error: Local configuration file (update.bin) parses error."
DEAD_URL = "http://127.0.0.1:9/update.ini"  # the discard port: nothing listens


def write_dat(folder, text):
    (folder / "update.dat").write_bytes(text.replace("\n", "\r\n").encode())


def test_missing_local_configuration_reports_and_posts_failure(install_dir, run_updater):
    run = run_updater(install_dir)
    assert run.exited
    assert [body.strip("\n") for _, body in run.boxes] == [NOT_FOUND]
    assert run.boxes[0][0] == "Information"
    assert run.boxes[0][1] == "\n" + NOT_FOUND + "\n"
    assert run.results == [-1]


def test_archive_without_its_member_is_a_parse_error(install_dir, run_updater):
    with zipfile.ZipFile(install_dir / "update.bin", "w") as z:
        z.writestr("other.txt", "[system]\r\nurls=url0=http://x/\r\n")
    write_dat(install_dir, "[system]\nurls=url0=" + DEAD_URL + "\n")
    run = run_updater(install_dir)
    assert [body.strip("\n") for _, body in run.boxes] == [BIN_PARSE]
    assert run.results == [-1]


def test_empty_archive_file_falls_back_to_text_form(install_dir, run_updater):
    (install_dir / "update.bin").write_bytes(b"")
    write_dat(install_dir, "[system]\ncloselog=0\nurls=url0=" + DEAD_URL + "\n")
    run = run_updater(install_dir)
    assert run.boxes == []
    assert run.results == [-1]
    lines = run.log_lines()
    assert "Analysis of the local configuration file: update.dat" in lines


def test_second_start_of_same_installation_waits_then_gives_up(install_dir, run_updater):
    first = run_updater(install_dir, answers=("hold",), timeout=25, background=True)
    import time
    time.sleep(3)  # let the first one take the mutex and show its box
    second = run_updater(install_dir, timeout=30)
    assert second.exited
    assert second.messages == [] and second.boxes == []
    assert 6.0 <= second.elapsed <= 20.0
    held = first.wait()
    assert held.boxes and held.boxes[0][1].strip("\n") == NOT_FOUND


def test_switches_are_read_in_any_case(install_dir, run_updater):
    lower = run_updater(install_dir, args="/hwnd:{hwnd}")
    assert lower.results == [-1]
    spaced = run_updater(install_dir, args="/HWND: {hwnd}")
    assert spaced.messages == []
    assert spaced.boxes  # the error is still shown to the user


def test_logged_run_writes_banner_and_directory_constants(install_dir, run_updater, wine):
    write_dat(install_dir, "[system]\ncloselog=0\nurls=url0=" + DEAD_URL + "\n")
    run = run_updater(install_dir, args="/HWND:{hwnd} /logging-please")
    lines = run.log_lines()
    assert lines[:6] == [
        "***********************************************************",
        "********",
        "********  Corvane update program (current version: V1.0)",
        "****************************************************",
        "*********************************************************",
        "Get Directory Constants:",
    ]
    constants = dict(l.split(" = ", 1) for l in lines[6:15])
    assert list(constants) == ["{appdriver}", "{parent}", "{win}", "{sys}", "{temp}", "{pf}",
                               "{font}", "{mydoc}", "{desktop}"]
    parent = wine.winpath(install_dir.parent)
    assert constants["{parent}"].lower() == parent.lower()
    assert constants["{appdriver}"] == parent[:2]
    assert constants["{win}"].lower() == "c:\\windows"
    assert all(v and not v.endswith("\\") for v in constants.values())
    assert lines[15:17] == ["Analysis of the local configuration file: update.dat", "[system]"]
    # every timestamped line is a single CRLF-terminated line
    raw = (install_dir / "update.log").read_bytes()
    assert raw.endswith(b"\r\n") and b"\r\r" not in raw


def test_log_needs_closelog_zero_and_unlogged_run_removes_old_log(install_dir, run_updater):
    write_dat(install_dir, "[system]\nurls=url0=" + DEAD_URL + "\n")
    (install_dir / "update.log").write_text("an earlier run\r\n")
    run = run_updater(install_dir)
    assert run.results == [-1]
    assert not (install_dir / "update.log").exists()


def test_two_logged_runs_append_to_one_log(install_dir, run_updater):
    write_dat(install_dir, "[system]\ncloselog=0\nurls=url0=" + DEAD_URL + "\n")
    run_updater(install_dir)
    second = run_updater(install_dir)
    banners = [l for l in second.log_lines() if l.startswith("********  Corvane update program")]
    assert len(banners) == 2
