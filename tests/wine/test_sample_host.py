"""The sample host application under Wine: its button starts update.exe with
its window handle against a local server, it shows the updater's result in
words, and after a real update it is the new program reading 1.1."""
import re
import subprocess

import pytest

import sample_support as sample


@pytest.fixture
def sample_app(tmp_path, build_dir, wine, probe, http_server):
    """Installs Sample App 1.0 and returns a starter: serve(edit) fills the
    server, start() runs SampleApp.exe and waits for its window."""
    app_dir = tmp_path / "SampleApp"
    updater = sample.install_sample(app_dir, build_dir, http_server.port)
    windows = sample.WindowProbe(wine, probe("window_probe"))
    started = []

    class Sample:
        folder, updater_folder, driver = app_dir, updater, windows

        @staticmethod
        def serve(edit=None):
            return sample.serve_sample(http_server.root, build_dir, http_server.port, edit)

        @staticmethod
        def start():
            started.append(wine.popen(app_dir / "SampleApp.exe", cwd=app_dir,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            return windows.state("Sample App", wait_ms=30000)

    yield Sample
    for title in ("Sample App 1.0", "Sample App 1.1"):
        windows.close(title)
    for proc in started:
        try:
            proc.wait(30)
        except subprocess.TimeoutExpired:
            proc.kill()


def test_up_to_date_result_in_words(sample_app, http_server):
    sample_app.serve(lambda text: text.replace("ver=1.1", "ver=1.0").replace("noupdate_win=1",
                                                                            "noupdate_win=0"))
    before = sample_app.start()
    assert before.title == "Sample App 1.0"
    assert before.texts[sample.VERSION] == "Sample App 1.0"
    assert before.enabled[sample.CHECK]

    assert sample_app.driver.click("Sample App 1.0", sample.CHECK)
    after = sample_app.driver.wait_until(
        "Sample App 1.0", lambda s: s.enabled.get(sample.CHECK) and
        s.texts.get(sample.STATUS) != "Checking for updates...", timeout=60)
    # The updater ran from its own folder with this window's handle.
    log = (sample_app.updater_folder / "update.log").read_text(errors="replace")
    assert after.texts[sample.STATUS] == "Sample App is up to date.", log
    assert "Send the message(2)" in log
    assert "/update.ini" in http_server.requests


def test_update_to_1_1_then_a_failed_update_is_reported(sample_app, build_dir):
    # Hidden run: the updater closes Sample App 1.0, installs 1.1 and the new
    # release notes, and starts the new program.
    sample_app.serve(lambda text: text.replace("show_type=0", "show_type=2"))
    assert sample_app.start().title == "Sample App 1.0"
    assert sample_app.driver.click("Sample App 1.0", sample.CHECK)
    new = sample_app.driver.state("Sample App 1.1", wait_ms=90000)
    assert new is not None, "Sample App 1.1 did not start after the update"
    assert new.texts[sample.VERSION] == "Sample App 1.1"
    assert sample_app.driver.gone("Sample App 1.0", 10000)
    folder = sample_app.folder
    assert (folder / "SampleApp.exe").read_bytes() == sample.sample_exe(build_dir, "1.1").read_bytes()
    assert (folder / "readme.txt").read_bytes() == (sample.SAMPLES / "server" / "files" /
                                                    "readme.txt").read_bytes()
    assert not list(folder.rglob("*.ebk"))
    local = (sample_app.updater_folder / "update.dat").read_text()
    assert local.count("ver=1.1") == 2
    log = (sample_app.updater_folder / "update.log").read_text(errors="replace")
    assert "Send the message(1)" in log

    # A server offering 1.2 with a wrong digest: the new program reports the
    # failure in words and stays as it is.
    sample_app.serve(lambda text: re.sub(r"md5=\w+", "md5=" + "0123456789abcdef" * 2,
                                         text.replace("show_type=0", "show_type=2")
                                         .replace("ver=1.1", "ver=1.2"), count=1))
    installed = (folder / "SampleApp.exe").read_bytes()
    assert sample_app.driver.click("Sample App 1.1", sample.CHECK)
    after = sample_app.driver.wait_until(
        "Sample App 1.1", lambda s: s.texts.get(sample.STATUS) == "The update was not completed.",
        timeout=60)
    assert after.texts[sample.STATUS] == "The update was not completed."
    assert (folder / "SampleApp.exe").read_bytes() == installed
