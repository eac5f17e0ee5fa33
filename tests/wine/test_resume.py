"""The network fault matrix under Wine: HTTP and FTP servers on 127.0.0.1
that close or reset the connection at 0 %, 50 % and 99 % of a file, stop
sending, ignore ranges or answer them wrongly. Each download must end whole
(continued with Range/If-Range or REST where it broke, or started over where
that is not safe) or fail within its bounds; never hang, never keep bytes
that belong to another part of the file."""
import re
import socket
import struct
import threading
import time

import pytest
from pyftpdlib.filesystems import AbstractedFS

from transfer_support import ThreadFtpServer, run_probe
from update_support import (HIDE, RESULT_OK, clear_downloads, crlf, ini, install, md5,
                            payload, tree)

SIZE = 200_000
ETAG = '"v1"'
LAST_MODIFIED = "Sun, 06 Nov 1994 08:49:37 GMT"
RESUMING = re.compile(r"Resuming download at byte (\d+): (.*)")


def reset_on_close(sock):
    """A close that sends RST instead of FIN."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


class FaultyHttpServer:
    """HTTP/1.1 on 127.0.0.1 serving {path: bytes}. Per path, `faults`
    lists what happens to its first requests, in order: None (served whole)
    or (fraction, how) with how "close", "drop", "reset" or "stall": the
    body stops at that fraction of the file and the connection is closed (at
    once or a second later), reset, or held silent. `ranges` per path: "etag" (ETag, Range honoured when
    If-Range matches), "date" (only a strong Last-Modified), "none" (no
    validator), "ignore" (Range ignored) or "wrong" (206 with a range that
    starts at 0). Every request is recorded as (path, Range, If-Range)."""

    def __init__(self, files, faults, ranges):
        self.files, self.faults, self.ranges = files, faults, ranges
        self.requests = []
        self._counts = {}
        self._stop = threading.Event()
        self._listener = socket.socket()
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(16)
        self._listener.settimeout(0.2)
        self.port = self._listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}/{path}"

    def ranged(self, path):
        """The Range starts of the requests for one path (None: whole file)."""
        return [int(r[6:-1]) if r else None for p, r, _ in self.requests if p == path]

    def _accept(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._listener.accept()
            except OSError:
                continue
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        try:
            conn.settimeout(5)
            data = b""
            while True:
                while b"\r\n\r\n" not in data:
                    chunk = conn.recv(4096)
                    if not chunk:
                        return
                    data += chunk
                head, _, data = data.partition(b"\r\n\r\n")
                if not self._answer(conn, head.decode("latin-1")):
                    return
        except OSError:
            pass
        finally:
            conn.close()

    def _answer(self, conn, head):
        lines = head.split("\r\n")
        path = lines[0].split()[1].lstrip("/")
        headers = {k.strip().lower(): v.strip() for k, _, v in
                   (line.partition(":") for line in lines[1:])}
        rng, if_range = headers.get("range"), headers.get("if-range")
        self.requests.append((path, rng, if_range))
        body = self.files.get(path)
        if body is None:
            conn.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
            return True
        n = self._counts.get(path, 0)
        self._counts[path] = n + 1
        plan = self.faults.get(path, [])
        fault = plan[n] if n < len(plan) else None
        mode = self.ranges.get(path, "etag")
        validators = {"etag": "ETag: %s\r\n" % ETAG, "ignore": "ETag: %s\r\n" % ETAG,
                      "wrong": "ETag: %s\r\n" % ETAG, "none": "",
                      "date": "Last-Modified: %s\r\n" % LAST_MODIFIED}[mode]
        start = 0
        status = "200 OK"
        extra = ""
        if rng and mode != "ignore" and if_range in (ETAG, LAST_MODIFIED):
            start = int(rng[len("bytes="):].rstrip("-"))
            status = "206 Partial Content"
            shown = 0 if mode == "wrong" else start
            extra = "Content-Range: bytes %d-%d/%d\r\n" % (shown, len(body) - 1, len(body))
        conn.sendall(("HTTP/1.1 %s\r\nContent-Length: %d\r\n%s%s"
                      "Date: Tue, 08 Dec 2026 10:00:00 GMT\r\n\r\n"
                      % (status, len(body) - start, validators, extra)).encode())
        if fault is None:
            conn.sendall(body[start:])
            return True
        fraction, how = fault
        conn.sendall(body[start:max(start, int(len(body) * fraction))])
        if how == "stall":
            self._stop.wait(30)
        elif how == "drop":  # closed a second later
            self._stop.wait(1)
        elif how == "reset":
            reset_on_close(conn)
        return False

    def stop(self):
        self._stop.set()
        self._listener.close()


class _FaultyFile:
    """A served file that follows its fault: it ends early (the server then
    reports the transfer complete), resets the data connection there, or
    holds it silent."""

    def __init__(self, path, fault, fs, stop):
        self._file = open(path, "rb")
        self._size = len(open(path, "rb").read())
        self._fault, self._fs, self._stop = fault, fs, stop
        self.name = path
        self.closed = False

    def seek(self, *args):
        self._file.seek(*args)

    def read(self, size=-1):
        if self._fault is None:
            return self._file.read(size)
        fraction, how = self._fault
        left = int(self._size * fraction) - self._file.tell()
        if left > 0:
            return self._file.read(min(size, left) if size >= 0 else left)
        if how == "stall":
            self._stop.wait(30)
        elif how == "reset":
            # Not before the client took the data connection: a connection
            # reset while it waits in the listen queue brings Wine's own FTP
            # open down (it then has no file object to fill in).
            self._stop.wait(0.5)
            reset_on_close(self._fs.cmd_channel.data_channel.socket)
        return b""

    def close(self):
        self.closed = True
        self._file.close()


def faulty_ftp(root, faults, rest, stop):
    """An FTP server whose RETRs of a file follow `faults` (as the HTTP
    server's); `rest` per file name: "honour" or "ignore" (350, but the file
    is sent from its start)."""
    counts = {}

    class FaultyFS(AbstractedFS):
        def open(self, filename, mode):
            name = filename.replace("\\", "/").rsplit("/", 1)[-1]
            n = counts.get(name, 0)
            counts[name] = n + 1
            plan = faults.get(name, [])
            return _FaultyFile(filename, plan[n] if n < len(plan) else None, self, stop)

    server = ThreadFtpServer(root, filesystem=FaultyFS, threaded=True)
    handler = server._server.handler
    handler.use_sendfile = False
    original = handler.ftp_RETR

    def ftp_retr(self, file):
        name = file.replace("\\", "/").rsplit("/", 1)[-1]
        if rest.get(name) == "ignore":
            self._restart_position = 0
        return original(self, file)
    handler.ftp_RETR = ftp_retr
    return server


# case: (faults of the first requests, ranges/REST mode, expected end)
CASES = {
    "closed0": ([(0.0, "close")], "etag", "whole"),
    "closed50": ([(0.5, "close")], "etag", "whole"),
    "closed99": ([(0.99, "close")], "etag", "whole"),
    "reset0": ([(0.0, "reset")], "etag", "whole"),
    "reset50": ([(0.5, "reset")], "etag", "whole"),
    "reset99": ([(0.99, "reset")], "etag", "whole"),
    "stalled": ([(0.5, "stall")], "etag", "whole"),
    "ignores": ([(0.5, "close")], "ignore", "whole"),
    "wrongrange": ([(0.5, "close")], "wrong", "whole"),
    "datevalidator": ([(0.5, "close")], "date", "whole"),
    "novalidator": ([(0.5, "close")], "none", "whole"),
    "always": ([(0.2, "close"), (0.4, "close"), (0.6, "close"), (0.8, "close")], "etag",
               "failed"),
}
FTP_CASES = [c for c in CASES if c not in ("wrongrange", "datevalidator", "novalidator")]


@pytest.fixture
def transfer(wine, probe):
    exe = probe("transfer_probe")

    def run(*args, timeout=120):
        return run_probe(wine, exe, *args, timeout=timeout)
    return run


def resumes_of(run, name):
    """The byte of each resume log line for a URL ending in `name` or for
    the FTP file `name`."""
    found = [RESUMING.match(line) for line in run.log]
    return [int(m.group(1)) for m in found
            if m and (m.group(2) == name or m.group(2).endswith("/" + name))]


def test_http_fault_matrix(transfer, tmp_path, wine):
    files = {name: payload(name, SIZE) for name in CASES}
    server = FaultyHttpServer(files, {n: c[0] for n, c in CASES.items()},
                              {n: c[1] for n, c in CASES.items()})
    try:
        args = []
        for name in CASES:
            args += [server.url(name), wine.winpath(tmp_path / name)]
        started = time.monotonic()
        run = transfer("--timeout", "2000", "--log", wine.winpath(tmp_path / "update.log"),
                       "http", *args)
        elapsed = time.monotonic() - started
    finally:
        server.stop()
    results = dict(zip(CASES, run.files))
    assert run.open_files == 0
    # One stall window for the stalled case, the rest at network speed.
    assert elapsed < 30, elapsed
    for name, (faults, mode, expected) in CASES.items():
        ranges = server.ranged(name)
        resumes = resumes_of(run, name)
        if expected == "failed":
            assert results[name] is False, name
            # Three resumes, each from where the last one broke, then no more.
            assert ranges == [None] + resumes, (name, ranges)
            assert len(resumes) == 3 and resumes == sorted(resumes) and resumes[0] > 0
            continue
        assert results[name] is True, (name, ranges, resumes)
        assert (tmp_path / name).read_bytes() == files[name], name
        assert len(resumes) >= 1, name
        if faults[0][0] == 0.0:  # broke before the first byte: asked for again
            assert ranges == [None, None], (name, ranges)
        elif mode == "etag":
            # Continued where it broke: a range of exactly the bytes missing.
            assert ranges == [None, resumes[0]] and resumes[0] > 0, (name, ranges)
            assert resumes[0] <= int(SIZE * faults[0][0])
            assert [r[2] for r in server.requests if r[0] == name][1] == ETAG
        elif mode == "date":
            assert ranges == [None, resumes[0]] and resumes[0] > 0, (name, ranges)
            assert [r[2] for r in server.requests if r[0] == name][1] == LAST_MODIFIED
        elif mode == "none":
            # Nothing could tell that a range is of the same file: start over.
            assert ranges == [None, None] and resumes == [0], (name, ranges)
        elif mode == "ignore":
            # The range was asked for; the 200 that came was taken from byte 0.
            assert ranges == [None, resumes[0]] and resumes[0] > 0, (name, ranges)
        elif mode == "wrong":
            # The wrong range was not appended; the whole file was asked for.
            assert ranges == [None, resumes[0], None] and resumes[1] == 0, (name, ranges)
    stalled = [line for line in run.log if line.startswith("The server stopped sending: ")]
    assert stalled == ["The server stopped sending: " + server.url("stalled")]


def test_ftp_fault_matrix(transfer, tmp_path, wine):
    root = tmp_path / "ftp"
    root.mkdir()
    files = {name: payload(name, SIZE) for name in FTP_CASES}
    for name, data in files.items():
        (root / name).write_bytes(data)
    stop = threading.Event()
    server = faulty_ftp(root, {n: CASES[n][0] for n in FTP_CASES},
                        {n: CASES[n][1] for n in FTP_CASES}, stop)
    try:
        args = []
        for name in FTP_CASES:
            args += ["/" + name, wine.winpath(tmp_path / ("got-" + name))]
        started = time.monotonic()
        run = transfer("--timeout", "2000", "--log", wine.winpath(tmp_path / "update.log"),
                       "ftp", "127.0.0.1", server.port, "tester", "secret", *args)
        elapsed = time.monotonic() - started
    finally:
        stop.set()
        server.stop()
    results = dict(zip(FTP_CASES, run.files))
    assert run.open_files == 0
    assert elapsed < 40, elapsed
    # Each RETR with the REST that went before it (None: from the start).
    retrs, rest = {}, None
    for command, argument in server.commands:
        if command == "REST":
            rest = int(argument)
        elif command == "RETR":
            retrs.setdefault(argument.lstrip("/"), []).append(rest)
            rest = None
    for name in FTP_CASES:
        faults, mode, expected = CASES[name]
        resumes = resumes_of(run, name)
        assert results[name] is (expected == "whole"), (name, resumes, retrs.get(name))
        if expected == "failed":
            assert len(resumes) == 3 and len(retrs[name]) == 4, (name, retrs[name])
            continue
        assert (tmp_path / ("got-" + name)).read_bytes() == files[name], name
        if faults[0][0] == 0.0:
            assert retrs[name] == [None, None] and resumes == [0], (name, retrs[name])
        elif mode == "ignore":
            # The bytes sent again did not match: the file started over.
            back = resumes[0] - min(4096, resumes[0] // 2)
            assert retrs[name] == [None, back, None] and resumes[1:] == [0], (name, retrs[name])
        else:
            # Continued a little before where it broke; the overlap matched.
            back = resumes[0] - min(4096, resumes[0] // 2)
            assert retrs[name] == [None, back] and resumes[0] > 0, (name, retrs[name])
    assert "The server stopped sending: stalled" in run.log


def test_cancel_question_answered_no_continues_a_connection_lost_meanwhile(
        transfer, tmp_path, wine):
    """The download page's cancel question holds the transfer; the server
    drops the connection while the user thinks. "No" continues the file
    where it stopped; "Yes" ends it without asking the server again."""
    files = {name: payload(name, SIZE) for name in ("no", "yes")}
    server = FaultyHttpServer(files, {name: [(0.5, "drop")] for name in files}, {})
    try:
        answered_no = transfer("--timeout", "2000", "--pause-at", "10", "--pause-ms", "3000",
                               "--log", wine.winpath(tmp_path / "no.log"), "http",
                               server.url("no"), wine.winpath(tmp_path / "no"))
        answered_yes = transfer("--pause-at", "10", "--pause-ms", "1500", "--cancel-paused",
                                "--log", wine.winpath(tmp_path / "yes.log"), "http",
                                server.url("yes"), wine.winpath(tmp_path / "yes"))
    finally:
        server.stop()
    assert answered_no.ok and "PAUSE" in answered_no.view
    assert answered_no.elapsed_ms >= 3000
    assert (tmp_path / "no").read_bytes() == files["no"]
    resumes = resumes_of(answered_no, "no")
    assert server.ranged("no") == [None] + resumes and resumes[0] > 0
    assert not answered_yes.ok and answered_yes.open_files == 0
    assert server.ranged("yes") == [None] and resumes_of(answered_yes, "yes") == []


def test_the_updater_installs_after_resuming_and_fails_cleanly_when_it_cannot(
        install_dir, run_updater, wine, http_server, tmp_path):
    """The real updater, hidden: an HTTP item whose download is reset at
    half and an FTP item whose transfer ends at half are continued and
    installed, verified by MD5. Then a server that breaks every time ends
    the update with -1 and every installed byte as it was."""
    app = install_dir.parent
    data = {"app.dat": payload("app", SIZE), "lib.dat": payload("lib", SIZE)}
    (install_dir / "app.dat").write_bytes(b"old app")
    (install_dir / "lib.dat").write_bytes(b"old lib")
    # The status check's request comes first and is served whole.
    web = FaultyHttpServer({"app.dat": data["app.dat"]}, {"app.dat": [None, (0.5, "reset")]},
                           {"app.dat": "etag"})
    root = tmp_path / "ftp"
    root.mkdir()
    (root / "lib.dat").write_bytes(data["lib.dat"])
    stop = threading.Event()
    ftp = faulty_ftp(root, {"lib.dat": [(0.5, "close")]}, {}, stop)
    ftp_url = f"ftp://127.0.0.1:{ftp.port}/lib.dat,,tester,,secret"
    sections = {
        "file0": dict(ver="2", urls=[web.url("app.dat")], md5=md5(data["app.dat"]), **HIDE),
        "file1": dict(ver="2", urls=[ftp_url], md5=md5(data["lib.dat"]), **HIDE),
    }
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    try:
        install(install_dir, http_server.url("server.ini"), {"file0": "1", "file1": "1"})
        before = tree(app)
        # Every request breaks a little further on: three resumes, then -1.
        web.faults["app.dat"] = [None] + [(f, "close") for f in (0.2, 0.4, 0.6, 0.8)]
        clear_downloads(wine)
        failed = run_updater(install_dir, timeout=90)
        assert failed.results == [3, -1], failed.log_lines()
        assert {k: v for k, v in tree(app).items() if k != "updateApp/update.log"} == before
        assert web.ranged("app.dat") == [None, None, 40000, 80000, 120000]

        web.faults["app.dat"] = [None, (0.5, "reset")]
        web._counts.clear()
        web.requests.clear()
        (install_dir / "update.log").unlink()
        run = run_updater(install_dir, timeout=90)
    finally:
        stop.set()
        ftp.stop()
        web.stop()
    lines = run.log_lines()
    assert run.results == [3, 1], lines
    assert RESULT_OK in lines
    assert (install_dir / "app.dat").read_bytes() == data["app.dat"]
    assert (install_dir / "lib.dat").read_bytes() == data["lib.dat"]
    assert lines.count("MD5 checksum success.") == 2
    ranges = web.ranged("app.dat")
    assert ranges[:2] == [None, None] and len(ranges) == 3 and ranges[2] > 0, ranges
    assert "Resuming download at byte %d: %s" % (ranges[2], web.url("app.dat")) in lines
    assert "Resuming download at byte 100000: lib.dat" in lines
    assert [a for c, a in ftp.commands if c == "REST"] == ["95904"]
