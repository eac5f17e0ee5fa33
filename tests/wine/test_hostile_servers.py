"""Slow and hostile servers on 127.0.0.1 against the updater under Wine:
headers or bodies trickled a byte at a time, bodies that stop without closing,
FTP data connections that are held, folder trees without end, and a second
start of one installation spelled in capitals. Each must end within its
bound instead of holding the updater."""
import contextlib
import shutil
import socket
import threading
import time
from pathlib import Path

from pyftpdlib.filesystems import AbstractedFS

from transfer_support import ThreadFtpServer

FAILURE = ("Failed to download the configuration file, may be network configuration errors "
           "or unreasonable!")
STOPPED = "The server stopped sending: "


class SlowHttpServer:
    """HTTP on 127.0.0.1 that answers every request in one hostile way:
    "headers": a header line a second, never the blank line;
    "body": whole headers (100,000 bytes announced), then a byte a second;
    "cut": whole headers, 20,000 of the 100,000 bytes, then silence with the
    connection held. Every connection ends at the latest after `limit`
    seconds or when the server stops."""

    def __init__(self, mode, limit=120):
        self.mode, self.limit = mode, limit
        self.requests = 0
        self._stop = threading.Event()
        self._listener = socket.socket()
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(16)
        self._listener.settimeout(0.2)
        self.port = self._listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def url(self, path="server.ini"):
        return f"http://127.0.0.1:{self.port}/{path}"

    def _accept(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._listener.accept()
            except OSError:
                continue
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        end = time.monotonic() + self.limit
        try:
            conn.settimeout(5)
            request = b""
            while b"\r\n\r\n" not in request:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                request += chunk
            self.requests += 1
            if self.mode == "headers":
                conn.sendall(b"HTTP/1.1 200 OK\r\n")
                n = 0
                while not self._stop.wait(1) and time.monotonic() < end:
                    conn.sendall(b"X-Slow-%d: y\r\n" % n)
                    n += 1
                return
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n"
                         b"Content-Type: text/plain\r\n\r\n")
            if self.mode == "body":
                while not self._stop.wait(1) and time.monotonic() < end:
                    conn.sendall(b"x")
            else:
                conn.sendall(b"[" * 20000)
                self._stop.wait(max(0.0, end - time.monotonic()))
        except OSError:
            pass
        finally:
            conn.close()

    def stop(self):
        self._stop.set()
        self._listener.close()


class _StallingFile:
    """A served file that sends ten bytes and then holds the data
    connection until released."""

    def __init__(self, release):
        self._release = release
        self._sent = False
        self.name = "stall.bin"
        self.closed = False

    def read(self, size=-1):
        if not self._sent:
            self._sent = True
            return b"0123456789"
        self._release.wait(90)
        return b""

    def seek(self, *args):
        pass

    def close(self):
        self.closed = True


def stalling_filesystem(release):
    class StallingFS(AbstractedFS):
        def open(self, filename, mode):
            if filename.endswith("stall.bin"):
                return _StallingFile(release)
            return super().open(filename, mode)
    return StallingFS


def endless_filesystem(files_per_folder):
    """Every folder exists and lists two subfolders and `files_per_folder`
    files, at every depth: a tree without end."""
    lines = ["drwxr-xr-x   1 owner    group           0 Jan 01 00:00 d%d" % i for i in (0, 1)]
    lines += ["-rw-r--r--   1 owner    group           5 Jan 01 00:00 f%03d.dll" % i
              for i in range(files_per_folder)]
    payload = [(line + "\r\n").encode() for line in lines]

    class EndlessFS(AbstractedFS):
        def validpath(self, path):
            return True

        def isdir(self, path):
            return True

        def chdir(self, path):
            self.cwd = self.fs2ftp(path)

        def listdir(self, path):
            return []

        def format_list(self, basedir, listing, ignore_err=True):
            yield from payload
    return EndlessFS


def new_installation(root, name, build_dir, urls):
    folder = Path(root) / name / "updateApp"
    folder.mkdir(parents=True)
    shutil.copy2(build_dir / "update.exe", folder / "update.exe")
    write_local(folder, urls)
    return folder


def write_local(folder, urls):
    (folder / "update.dat").write_bytes(
        ("[system]\r\ncloselog=0\r\nurls=" + urls + "\r\n[file0]\r\nver=1.0\r\n").encode())


def test_engine_downloads_fail_in_the_time_out_against_slow_http(transfer, tmp_path, wine):
    servers = {mode: SlowHttpServer(mode, limit=40) for mode in ("headers", "body", "cut")}
    try:
        args = []
        for mode, server in servers.items():
            args += [server.url(mode + ".bin"), wine.winpath(tmp_path / (mode + ".bin"))]
        started = time.monotonic()
        run = transfer("--timeout", "2000", "--log", wine.winpath(tmp_path / "update.log"),
                       "http", *args, timeout=60)
        assert run.files == [False, False, False]
        assert run.open_files == 0
        # Three downloads of about one two-second window each; the cut one
        # is tried once more (it had delivered), from the start (nothing
        # tells that a range would be of the same file), and the trickle
        # is not (it had not).
        assert run.elapsed_ms < 14_000, run.elapsed_ms
        assert time.monotonic() - started < 22
        stopped = [line for line in run.log if line.startswith(STOPPED)]
        assert stopped == [STOPPED + servers["body"].url("body.bin"),
                           STOPPED + servers["cut"].url("cut.bin"),
                           STOPPED + servers["cut"].url("cut.bin")]
        assert [l for l in run.log if l.startswith("Resuming")] == [
            "Resuming download at byte 0: " + servers["cut"].url("cut.bin")]
        # Nothing but what came was written.
        assert 0 < (tmp_path / "cut.bin").stat().st_size <= 20000
        assert set((tmp_path / "cut.bin").read_bytes()) == {ord("[")}

        # The status check waits for the headers as a whole, too; cancel
        # ends that wait at once.
        status = transfer("--timeout", "2000", "status", servers["headers"].url(), timeout=30)
        assert not status.ok and status.elapsed_ms < 5000
        cancelled = transfer("--cancel-after", "1000", "http", servers["headers"].url(),
                             wine.winpath(tmp_path / "c.bin"), timeout=30)
        assert not cancelled.ok and cancelled.elapsed_ms < 2500
    finally:
        for server in servers.values():
            server.stop()


def test_held_ftp_data_connection_fails_and_drops_the_connection(transfer, tmp_path, wine):
    release = threading.Event()
    root = tmp_path / "ftp"
    root.mkdir()
    (root / "stall.bin").write_bytes(b"s" * 50000)
    (root / "good.bin").write_bytes(b"g" * 3000)
    server = ThreadFtpServer(root, filesystem=stalling_filesystem(release), threaded=True)
    try:
        run = transfer("--timeout", "2000", "--log", wine.winpath(tmp_path / "update.log"),
                       "ftp", "127.0.0.1", server.port, "tester", "secret",
                       "/stall.bin", wine.winpath(tmp_path / "stall.bin"),
                       "/good.bin", wine.winpath(tmp_path / "good.bin"), timeout=60)
        assert run.files == [False, True]
        assert run.open_files == 0
        assert run.elapsed_ms < 12_000, run.elapsed_ms
        assert STOPPED + "stall.bin" in run.log
        # The held connection was dropped: the next file came over a new login.
        assert len(server.arguments_of("USER")) == 2
        assert (tmp_path / "good.bin").read_bytes() == b"g" * 3000
    finally:
        release.set()
        server.stop()


@contextlib.contextmanager
def ftp_serving(root, filesystem):
    # One at a time: pyftpdlib's servers in one process share their I/O loop.
    server = ThreadFtpServer(root, filesystem=filesystem)
    try:
        yield server
    finally:
        server.stop()


def test_listings_are_bounded_and_cancellable(transfer, tmp_path, wine):
    # Wine reads a listing a byte at a time (about a second per hundred
    # entries), so the caps are lowered here; their real values are tested
    # natively.
    log = wine.winpath(tmp_path / "update.log")
    with ftp_serving(tmp_path / "bare", endless_filesystem(0)) as bare:
        folders = transfer("--quiet", "--listing-caps", "12,100000", "--log", log, "ftplist",
                           "127.0.0.1", bare.port, "tester", "secret", "/", "", "1", timeout=60)
        assert not folders.ok
        assert "The folder listing exceeds 12 folders: /" in folders.log
        assert len(bare.arguments_of("LIST")) == 12
        assert folders.elapsed_ms < 10_000, folders.elapsed_ms

        # Default caps: a tree without end is listed until the user cancels,
        # and then ends within a second.
        cancelled = transfer("--quiet", "--cancel-after", "2000", "ftplist", "127.0.0.1",
                             bare.port, "tester", "secret", "/", "", "1", timeout=60)
        assert not cancelled.ok
        assert 2000 <= cancelled.elapsed_ms < 3000, cancelled.elapsed_ms

    with ftp_serving(tmp_path / "wide", endless_filesystem(4)) as wide:
        entries = transfer("--quiet", "--listing-caps", "10000,10", "--log", log, "ftplist",
                           "127.0.0.1", wide.port, "tester", "secret", "/", "*.dll", "1",
                           timeout=60)
        assert not entries.ok
        assert entries.values["ENTRYCOUNT"] == "10"
        assert "The folder listing exceeds 10 files: /" in entries.log
        assert len(wide.arguments_of("LIST")) == 3
        assert entries.elapsed_ms < 10_000, entries.elapsed_ms

    # A local tree whose folders link back up: each folder is listed once.
    tree = tmp_path / "tree"
    (tree / "a").mkdir(parents=True)
    (tree / "top.dll").write_bytes(b"t")
    (tree / "a" / "inner.dll").write_bytes(b"i")
    (tree / "a" / "up").symlink_to(tree, target_is_directory=True)
    (tree / "a" / "up2").symlink_to(tree, target_is_directory=True)
    (tree / "a" / "self").symlink_to(tree / "a", target_is_directory=True)
    local = transfer("locallist", wine.winpath(tree), "", "1", timeout=60)
    assert local.ok
    assert sorted(e[1] for e in local.entries) == ["inner.dll", "top.dll"]
    assert local.elapsed_ms < 5000


def test_slow_servers_at_start_up_end_with_the_failure_and_free_the_mutex(
        tmp_path, build_dir, run_updater, wine):
    release = threading.Event()
    http = {mode: SlowHttpServer(mode, limit=100) for mode in ("headers", "body", "cut")}
    ftp_root = tmp_path / "ftp"
    ftp_root.mkdir()
    (ftp_root / "stall.bin").write_bytes(b"[file0]\r\n" * 100)
    ftp = ThreadFtpServer(ftp_root, filesystem=stalling_filesystem(release), threaded=True)
    urls = {mode: "url0=" + server.url() for mode, server in http.items()}
    urls["ftp"] = f"url0=ftp://127.0.0.1:{ftp.port}/stall.bin,,tester,,secret"
    try:
        folders = {mode: new_installation(tmp_path, mode, build_dir, url)
                   for mode, url in urls.items()}
        # The four slow starts run side by side: each waits for its own server.
        runs = {mode: run_updater(folder, timeout=100, background=True)
                for mode, folder in folders.items()}
        time.sleep(4)
        # Meanwhile a second start of one of them, its path in capitals, finds
        # the first one's mutex: it waits about seven seconds and ends silently.
        exe = folders["headers"] / "update.exe"
        capitals = "Z:" + str(exe.resolve()).replace("/", "\\").upper()
        second = run_updater(folders["headers"], timeout=40, program=capitals)
        assert second.exited
        assert second.messages == [] and second.boxes == []
        assert 6.0 <= second.elapsed <= 15.0, second.elapsed

        finished = {mode: run.wait(150) for mode, run in runs.items()}
    finally:
        release.set()
        ftp.stop()
        for server in http.values():
            server.stop()

    for mode, run in finished.items():
        assert run.exited, (mode, run.elapsed, run.record[-300:], run.log_lines()[-3:])
        assert run.results == [-1], (mode, run.messages)
        # About a minute at most, whatever the server does.
        assert run.elapsed < 75, (mode, run.elapsed)
        lines = run.log_lines()
        assert lines[-1] == FAILURE, (mode, lines[-3:])
    assert "Start download." in finished["ftp"].log_lines()
    # The status check passed; its whole answer was the text, whose held body
    # the fetch gave up on within the bounds above, without asking again.
    assert http["body"].requests == 1

    # The next start of each installation finds no mutex held and runs at once.
    for mode, folder in folders.items():
        write_local(folder, "url0=http://127.0.0.1:9/server.ini")
    for mode, folder in folders.items():
        again = run_updater(folder, timeout=30)
        assert again.results == [-1], mode
        assert again.elapsed < 6.0, (mode, again.elapsed)
