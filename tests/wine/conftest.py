"""Fixtures of the Wine tests: see winrig.py."""
import os
import shutil
import sys
import tempfile
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))
import winrig  # noqa: E402

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("CORVANE_BUILD", REPO / "build"))
DIST = Path(os.environ.get("CORVANE_DIST", REPO / "dist"))


@pytest.fixture(scope="session")
def build_dir():
    """The Windows build the tests run: the shipped 32-bit one where 32-bit
    Wine runs, else the x86-64 build of the same sources."""
    _, arch = winrig.wine_loader()
    return BUILD / ("win" if arch == "win32" else "win64")


@pytest.fixture(scope="session")
def dist_dir():
    return DIST


@pytest.fixture(scope="session")
def wine():
    work = Path(tempfile.mkdtemp(prefix="corvane-wine-", dir=BUILD if BUILD.exists() else None))
    rig = winrig.Wine(work)
    try:
        rig.start()
        yield rig
    finally:
        rig.stop()


@pytest.fixture(scope="session")
def testhost(build_dir):
    exe = build_dir / "testhost.exe"
    assert exe.exists(), f"{exe} is not built"
    return exe


@pytest.fixture
def probe(build_dir):
    def find(name):
        exe = build_dir / f"{name}.exe"
        assert exe.exists(), f"{exe} is not built"
        return exe
    return find


@pytest.fixture
def transfer(wine, probe):
    """Runs the transfer probe (the engine's own code) with the given
    arguments; `timeout` in seconds."""
    from transfer_support import run_probe
    exe = probe("transfer_probe")

    def run(*args, timeout=120):
        return run_probe(wine, exe, *args, timeout=timeout)
    return run


@pytest.fixture
def install_dir(tmp_path, build_dir):
    folder = tmp_path / "app" / "updateApp"
    folder.mkdir(parents=True)
    shutil.copy2(build_dir / "update.exe", folder / "update.exe")
    return folder


@pytest.fixture
def run_updater(wine, testhost):
    def run(install_dir, args="/HWND:{hwnd} /log", answers=("ok",), timeout=60, cwd=None,
            background=False, program="update.exe"):
        return winrig.run_updater(wine, testhost, install_dir, args=args, answers=answers,
                                  timeout=timeout, cwd=cwd, background=background, program=program)
    return run


@pytest.fixture
def http_server(tmp_path):
    server = winrig.HttpServer(tmp_path / "http-root")
    yield server
    server.stop()


@pytest.fixture
def ftp_server(tmp_path):
    server = winrig.FtpServer(tmp_path / "ftp-root", tmp_path)
    yield server
    server.stop()
