"""The network fault matrix under Wine: HTTP and FTP servers on 127.0.0.1
that close or reset the connection at 0 %, 50 % and 99 % of a file, stop
sending, ignore ranges or answer them wrongly. Each download must end whole
(continued with Range/If-Range or REST, or started over where that is not
safe) or fail within its bounds, and never keep bytes of another part."""
import http.server
import re
import socket
import struct
import threading

from pyftpdlib.filesystems import AbstractedFS

from transfer_support import ThreadFtpServer
from update_support import (HIDE, RESULT_OK, clear_downloads, crlf, ini, install, md5,
                            payload, tree)

SIZE = 200_000
ETAG = '"v1"'
LAST_MODIFIED = "Sun, 06 Nov 1994 08:49:37 GMT"
RESUMING = re.compile(r"Resuming download at byte (\d+): (.*)")

# name: (what the first requests meet, ranges/REST mode, expected end). A
# fault is (fraction of the file sent, then "close", "drop" (closed a second
# later), "reset", "stall" or "refuse" (reset before any answer); later
# requests are served whole. Modes: "etag"
# (Range honoured when If-Range matches), "date" (only a strong
# Last-Modified), "none" (no validator), "ignore" (Range/REST ignored),
# "wrong" (206 whose range starts at 0).
CASES = {
    # First: on a connection of its own, not one WinInet kept from an earlier
    # file (on those it asks again by itself).
    "refused": ([(0.0, "refuse")], "etag", "whole"),
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
    "always": ([(f, "close") for f in (0.2, 0.4, 0.6, 0.8)], "etag", "failed"),
}
FTP_CASES = [c for c in CASES
             if c not in ("wrongrange", "datevalidator", "novalidator", "refused")]


def reset_on_close(sock):
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def next_fault(counts, cases, name):
    n = counts[name] = counts.get(name, 0) + 1
    plan = cases.get(name, ([], "etag"))[0]
    return plan[n - 1] if n <= len(plan) else None


class _FaultyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        srv, name = self.server, self.path.lstrip("/")
        rng, if_range = self.headers.get("Range"), self.headers.get("If-Range")
        srv.requests.append((name, rng, if_range))
        body = srv.files[name]
        fault = next_fault(srv.counts, srv.cases, name)
        if fault and fault[1] == "refuse":
            reset_on_close(self.connection)
            self.close_connection = True
            return
        mode = srv.cases.get(name, ([], "etag"))[1]
        start = 0
        if rng and mode != "ignore" and if_range in (ETAG, LAST_MODIFIED):
            start = int(rng[len("bytes="):-1])
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (
                0 if mode == "wrong" else start, len(body) - 1, len(body)))
        else:
            self.send_response(200)
        self.send_header("Content-Length", str(len(body) - start))
        if mode == "date":
            self.send_header("Last-Modified", LAST_MODIFIED)
        elif mode != "none":
            self.send_header("ETag", ETAG)
        self.end_headers()
        end = len(body) if fault is None else max(start, int(len(body) * fault[0]))
        self.wfile.write(body[start:end])
        self.wfile.flush()
        if fault:
            # A reset a moment after the bytes, so that they (and the
            # headers) reach the client before it: a reset that came first
            # would discard them unread, which "refused" covers.
            srv.stop.wait({"stall": 30, "drop": 1, "reset": 0.2}.get(fault[1], 0))
            if fault[1] == "reset":
                reset_on_close(self.connection)
                self.connection.close()
            self.close_connection = True


class FaultyHttpServer(http.server.ThreadingHTTPServer):
    """Serves {name: bytes} as CASES-like `cases` say; records every request
    as (name, Range, If-Range)."""
    daemon_threads = True

    def __init__(self, files, cases):
        super().__init__(("127.0.0.1", 0), _FaultyHandler)
        self.files, self.cases, self.requests, self.counts = files, cases, [], {}
        self.stop = threading.Event()
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, name):
        return f"http://127.0.0.1:{self.server_address[1]}/{name}"

    def ranged(self, name):
        """The Range start of each request for `name` (None: whole file).
        The status probe's request for the first byte alone comes without
        If-Range, so this server answers it whole: it reads as None."""
        return [int(r[6:-1]) if r and r != "bytes=0-0" else None
                for n, r, _ in self.requests if n == name]

    def close(self):
        self.stop.set()
        self.shutdown()
        self.server_close()


class _FaultyFile:
    """A served file that ends early at its fault (the server then reports
    the transfer complete), resets the data connection there, or holds it."""

    def __init__(self, path, fault, fs, stop):
        self._file = open(path, "rb")
        self._cut = None if fault is None else int(SIZE * fault[0])
        self._fault, self._fs, self._stop = fault, fs, stop
        self.name, self.closed = path, False

    def seek(self, *args):
        self._file.seek(*args)

    def read(self, size=-1):
        if self._cut is None or self._file.tell() < self._cut:
            return self._file.read(size if self._cut is None else
                                   min(size, self._cut - self._file.tell()))
        if self._fault[1] == "stall":
            self._stop.wait(30)
        elif self._fault[1] == "reset":
            # Not before the client took the data connection: a reset while
            # it waits in the listen queue brings Wine's own FTP open down.
            self._stop.wait(0.5)
            reset_on_close(self._fs.cmd_channel.data_channel.socket)
        return b""

    def close(self):
        self.closed = True
        self._file.close()


def faulty_ftp(root, cases, stop):
    """An FTP server whose RETRs follow `cases`; in "ignore" mode it answers
    REST with 350 but sends the file from its start."""
    counts = {}

    class FaultyFS(AbstractedFS):
        def open(self, filename, mode):
            fault = next_fault(counts, cases, filename.rsplit("/", 1)[-1])
            return _FaultyFile(filename, fault, self, stop)

    server = ThreadFtpServer(root, filesystem=FaultyFS, threaded=True)
    handler = server._server.handler
    handler.use_sendfile = False
    retr = handler.ftp_RETR

    def ftp_retr(self, file):
        if cases.get(file.rsplit("/", 1)[-1], ([], ""))[1] == "ignore":
            self._restart_position = 0
        return retr(self, file)
    handler.ftp_RETR = ftp_retr
    return server


def resumes_of(run, name):
    """The byte of each resume log line for a URL ending in `name` or for
    the FTP file `name`."""
    found = [RESUMING.match(line) for line in run.log]
    return [int(m.group(1)) for m in found
            if m and (m.group(2) == name or m.group(2).endswith("/" + name))]


def test_http_fault_matrix(transfer, tmp_path, wine):
    files = {name: payload(name, SIZE) for name in CASES}
    server = FaultyHttpServer(files, CASES)
    try:
        args = [a for n in CASES for a in (server.url(n), wine.winpath(tmp_path / n))]
        run = transfer("--timeout", "2000", "--log", wine.winpath(tmp_path / "update.log"),
                       "http", *args)
    finally:
        server.close()
    assert run.open_files == 0
    assert run.elapsed_ms < 30_000  # one stall window, the rest at network speed
    for (name, (faults, mode, expected)), ok in zip(CASES.items(), run.files):
        ranges, resumes = server.ranged(name), resumes_of(run, name)
        if_ranges = [r[2] for r in server.requests if r[0] == name]
        assert ok is (expected == "whole"), (name, ranges)
        if expected == "failed":
            # Three resumes, each from where the last one broke, then no more.
            assert ranges == [None] + resumes and len(resumes) == 3 and resumes[0] > 0
            assert resumes == sorted(resumes)
            continue
        assert (tmp_path / name).read_bytes() == files[name], name
        if faults[0][0] == 0.0 or mode == "none":
            # Nothing came, or nothing tells a range is of the same file.
            assert ranges == [None, None] and resumes == [0], (name, ranges)
        elif mode == "wrong":
            # The wrong range was not appended; the whole file was asked for.
            assert ranges == [None, resumes[0], None] and resumes[1:] == [0], (name, ranges)
        else:
            # Exactly the bytes missing; a 200 ("ignore") was taken from byte 0.
            assert ranges == [None, resumes[0]] and 0 < resumes[0] <= SIZE * faults[0][0]
            assert if_ranges[1] == (LAST_MODIFIED if mode == "date" else ETAG), name
    assert [line for line in run.log if line.startswith("The server stopped sending: ")] == [
        "The server stopped sending: " + server.url("stalled")]


def test_ftp_fault_matrix(transfer, tmp_path, wine):
    root = tmp_path / "ftp"
    root.mkdir()
    files = {name: payload(name, SIZE) for name in FTP_CASES}
    for name, data in files.items():
        (root / name).write_bytes(data)
    stop = threading.Event()
    server = faulty_ftp(root, {n: CASES[n] for n in FTP_CASES}, stop)
    try:
        args = [a for n in FTP_CASES for a in ("/" + n, wine.winpath(tmp_path / ("got-" + n)))]
        run = transfer("--timeout", "2000", "--log", wine.winpath(tmp_path / "update.log"),
                       "ftp", "127.0.0.1", server.port, "tester", "secret", *args)
    finally:
        stop.set()
        server.stop()
    assert run.open_files == 0
    assert run.elapsed_ms < 40_000
    # Each RETR with the REST that went before it (None: from the start).
    retrs, rest = {}, None
    for command, argument in server.commands:
        if command == "REST":
            rest = int(argument)
        elif command == "RETR":
            retrs.setdefault(argument.lstrip("/"), []).append(rest)
            rest = None
    for name, ok in zip(FTP_CASES, run.files):
        faults, mode, expected = CASES[name]
        resumes = resumes_of(run, name)
        assert ok is (expected == "whole"), (name, resumes, retrs.get(name))
        if expected == "failed":
            assert len(resumes) == 3 and len(retrs[name]) == 4, (name, retrs[name])
            continue
        assert (tmp_path / ("got-" + name)).read_bytes() == files[name], name
        if faults[0][0] == 0.0:
            assert retrs[name] == [None, None] and resumes == [0], (name, retrs[name])
            continue
        # REST a little before the break; in "ignore" mode the bytes sent
        # again did not match and the file started over.
        back = resumes[0] - min(4096, resumes[0] // 2)
        again = [None] if mode == "ignore" else []
        assert retrs[name] == [None, back] + again, (name, retrs[name])
        assert resumes[1:] == [0] * len(again) and resumes[0] > 0
    assert "The server stopped sending: stalled" in run.log


def test_cancel_question_answered_no_continues_a_connection_lost_meanwhile(
        transfer, tmp_path, wine):
    """The download page's cancel question holds the transfer; the server
    drops the connection while the user thinks. "No" continues the file
    where it stopped; "Yes" ends it without asking the server again."""
    files = {name: payload(name, SIZE) for name in ("no", "yes")}
    server = FaultyHttpServer(files, {name: ([(0.5, "drop")], "etag") for name in files})
    try:
        answered_no = transfer("--timeout", "2000", "--pause-at", "10", "--pause-ms", "3000",
                               "--log", wine.winpath(tmp_path / "no.log"), "http",
                               server.url("no"), wine.winpath(tmp_path / "no"))
        answered_yes = transfer("--pause-at", "10", "--pause-ms", "1500", "--cancel-paused",
                                "--log", wine.winpath(tmp_path / "yes.log"), "http",
                                server.url("yes"), wine.winpath(tmp_path / "yes"))
    finally:
        server.close()
    assert answered_no.ok and "PAUSE" in answered_no.view and answered_no.elapsed_ms >= 3000
    assert (tmp_path / "no").read_bytes() == files["no"]
    resumes = resumes_of(answered_no, "no")
    assert server.ranged("no") == [None] + resumes and resumes[0] > 0
    assert not answered_yes.ok and answered_yes.open_files == 0
    assert server.ranged("yes") == [None] and resumes_of(answered_yes, "yes") == []


def test_the_updater_installs_after_resuming_and_fails_cleanly_when_it_cannot(
        install_dir, run_updater, wine, http_server, tmp_path):
    """The real updater, hidden: a server that breaks every request ends the
    update with -1 and every installed byte as it was; then an HTTP item
    reset at half and an FTP item cut at half are continued and installed,
    verified by MD5."""
    app = install_dir.parent
    data = {"app.dat": payload("app", SIZE), "lib.dat": payload("lib", SIZE)}
    (install_dir / "app.dat").write_bytes(b"old app")
    (install_dir / "lib.dat").write_bytes(b"old lib")
    # The status check's request for the first byte is answered whole by
    # this server, and that answer is the download's first request.
    web = FaultyHttpServer({"app.dat": data["app.dat"]}, {"app.dat": (
        [(f, "close") for f in (0.2, 0.4, 0.6, 0.8)], "etag")})
    (tmp_path / "ftp").mkdir()
    (tmp_path / "ftp" / "lib.dat").write_bytes(data["lib.dat"])
    stop = threading.Event()
    ftp = faulty_ftp(tmp_path / "ftp", {"lib.dat": ([(0.5, "close")], "etag")}, stop)
    sections = {
        "file0": dict(ver="2", urls=[web.url("app.dat")], md5=md5(data["app.dat"]), **HIDE),
        "file1": dict(ver="2", urls=[f"ftp://127.0.0.1:{ftp.port}/lib.dat,,tester,,secret"],
                      md5=md5(data["lib.dat"]), **HIDE),
    }
    (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))
    try:
        install(install_dir, http_server.url("server.ini"), {"file0": "1", "file1": "1"})
        before = tree(app)
        clear_downloads(wine)
        failed = run_updater(install_dir, timeout=90)
        assert failed.results == [3, -1], failed.log_lines()
        assert {k: v for k, v in tree(app).items() if k != "updateApp/update.log"} == before
        assert web.ranged("app.dat") == [None, 40000, 80000, 120000]

        web.cases["app.dat"] = ([(0.5, "reset")], "etag")
        web.counts.clear()
        web.requests.clear()
        (install_dir / "update.log").unlink()
        run = run_updater(install_dir, timeout=90)
    finally:
        stop.set()
        ftp.stop()
        web.close()
    lines = run.log_lines()
    assert run.results == [3, 1] and RESULT_OK in lines, lines
    assert (install_dir / "app.dat").read_bytes() == data["app.dat"]
    assert (install_dir / "lib.dat").read_bytes() == data["lib.dat"]
    assert lines.count("MD5 checksum success.") == 2
    ranges = web.ranged("app.dat")
    assert ranges[0] is None and len(ranges) == 2 and ranges[1] > 0, ranges
    assert "Resuming download at byte %d: %s" % (ranges[1], web.url("app.dat")) in lines
    assert "Resuming download at byte 100000: lib.dat" in lines
    assert [a for c, a in ftp.commands if c == "REST"] == ["95904"]
