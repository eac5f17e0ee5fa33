"""The transfer engine under Wine, driven through transfer_probe.exe against
real HTTP and FTP servers on 127.0.0.1 and the local file system."""
import os
import re
import socket
import time

import pytest
from pyftpdlib.filesystems import AbstractedFS

from transfer_support import HttpsServer, ThreadFtpServer, make_certificate

SKIPPED = "The file was downloaded, no need to download."
RATE_KB = re.compile(r"^\d+\.\d(KB|MB)/s$")


def win(wine, path):
    return wine.winpath(path)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def reply(code, body=b"x", headers=()):
    def handler(h):
        h.send_response(code)
        for name, value in headers:
            h.send_header(name, value)
        h.send_header("Content-Length", str(len(body)))
        h.end_headers()
        h.wfile.write(body)
    return handler


def partial_body(announced, sent, then="close", stall=0.0):
    """Announces `announced` bytes, sends `sent`, then stalls and/or closes
    or resets the connection."""
    def handler(h):
        h.send_response(200)
        h.send_header("Content-Length", str(announced))
        h.end_headers()
        h.wfile.write(b"p" * sent)
        h.wfile.flush()
        if stall:
            time.sleep(stall)
        h.close_connection = True
        if then == "reset":
            h.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                    b"\x01\x00\x00\x00\x00\x00\x00\x00")
        h.connection.shutdown(socket.SHUT_RDWR)
    return handler


def without_length(body):
    def handler(h):
        h.send_response(200)
        h.send_header("Connection", "close")
        h.end_headers()
        h.wfile.write(body)
        h.wfile.flush()
        h.close_connection = True
    return handler


# The engine shows progress at most every 50 ms, so a test that acts on a
# shown percentage needs a body that takes a while: about 2.5 MB/s.
PACE_PIECE, PACE_PAUSE = 25_000, 0.01


def paced_body(body):
    def handler(h):
        h.send_response(200)
        h.send_header("Content-Length", str(len(body)))
        h.end_headers()
        for start in range(0, len(body), PACE_PIECE):
            h.wfile.write(body[start:start + PACE_PIECE])
            h.wfile.flush()
            time.sleep(PACE_PAUSE)
    return handler


class _PacedFile:
    def __init__(self, path):
        self._file = open(path, "rb")
        self.name = path
        self.closed = False

    def read(self, size=-1):
        time.sleep(PACE_PAUSE)
        return self._file.read(min(size, PACE_PIECE) if size and size > 0 else PACE_PIECE)

    def close(self):
        self.closed = True
        self._file.close()


class PacedFS(AbstractedFS):
    def open(self, filename, mode):
        return _PacedFile(filename) if "r" in mode else super().open(filename, mode)


# --- HTTP status check ----------------------------------------------------------

TABLE = {
    400: "Http error 400: Bad Request",
    401: "Http error 401: Unauthorized",
    403: "Http error 403: Forbidden",
    404: "Http error 404: Not Found",
    405: "Http error 405: Method Not Allowed",
    406: "Http error 406: Not Acceptable",
    407: "Http error 407: Proxy Authentication Required",
    414: "Http error 414: Request-URI Too Large",
    500: "Http error 500: Internal Server Error",
    501: "Http error 501: Not Implemented",
    502: "Http error 502: Bad Gateway",
}


def test_status_check_maps_the_error_table_and_passes_other_codes(transfer, http_server):
    for code in TABLE:
        http_server.route(f"/s{code}", reply(code))
    http_server.route("/s503", reply(503))
    (http_server.root / "target.bin").write_bytes(b"t" * 10)
    http_server.route("/moved", reply(302, headers=[("Location", "/target.bin")]))

    for code, text in TABLE.items():
        run = transfer("status", http_server.url(f"s{code}"))
        assert not run.ok, code
        assert run.values["ERRORTEXT"] == text
    for path in ("s503", "moved", "target.bin"):
        run = transfer("status", http_server.url(path))
        assert run.ok, path
        assert run.values["ERRORTEXT"] == ""
    # Nothing listens: the status cannot be read, no text.
    run = transfer("status", f"http://127.0.0.1:{closed_port()}/x")
    assert not run.ok
    assert run.values["ERRORTEXT"] == ""


# --- HTTP download ---------------------------------------------------------------

def test_download_reports_progress_in_order_and_stores_the_body(transfer, http_server, tmp_path,
                                                               wine):
    body = os.urandom(300_000)
    (http_server.root / "a.bin").write_bytes(body)
    out = tmp_path / "a.bin"
    run = transfer("--log", win(wine, tmp_path / "update.log"), "http", http_server.url("a.bin"),
                   win(wine, out))
    assert run.ok
    assert out.read_bytes() == body
    assert run.open_files == 0

    # Row annotated once with the size, file bar reset, "OK!" at the end.
    assert run.view[0] == "SetRowLabel 0 file.bin(293.0KB)"
    assert run.view[1] == "SetFileProgress 0"
    assert run.view[-1] == "ShowStatus OK!"
    bars = [int(p) for p in run.view_calls("SetFileProgress")]
    assert bars == sorted(bars) and bars[-1] == 100
    rows = [int(c.split()[1]) for c in run.view_calls("SetRowProgress")]
    assert rows == sorted(rows) and rows[-1] == 100
    for rate in run.view_calls("SetRowRate"):
        assert RATE_KB.match(rate.split(" ", 1)[1]), rate
    for line in run.view_calls("SetRateLine"):
        assert re.match(r"^293\.0KB \(\d+\.\d(KB|MB)/s\)$", line), line

    # Host messages: pairs of 997 (100, percent) then 996 (total, bytes).
    assert run.messages and len(run.messages) % 2 == 0
    percents, done = [], []
    for first, second in zip(run.messages[::2], run.messages[1::2]):
        assert first[:2] == (997, 100)
        assert second[:2] == (996, len(body))
        percents.append(first[2])
        done.append(second[2])
        assert first[2] == done[-1] * 100 // len(body)
    assert percents == sorted(percents) and percents[-1] == 100
    assert done == sorted(done) and done[-1] == len(body)
    assert SKIPPED not in run.log


def test_present_file_of_the_same_length_is_kept(transfer, http_server, tmp_path, wine):
    (http_server.root / "a.bin").write_bytes(b"new content")
    out = tmp_path / "a.bin"
    out.write_bytes(b"old content")  # same length, other bytes
    run = transfer("--log", win(wine, tmp_path / "update.log"), "http", http_server.url("a.bin"),
                   win(wine, out))
    assert run.ok
    assert out.read_bytes() == b"old content"
    assert SKIPPED in run.log
    assert "SetFileProgress 100" in run.view and "SetRowProgress 0 100" in run.view
    assert run.messages == []

    out.write_bytes(b"older")  # other length: fetched again
    run = transfer("--log", win(wine, tmp_path / "update2.log"), "http",
                   http_server.url("a.bin"), win(wine, out))
    assert run.ok and out.read_bytes() == b"new content"
    assert SKIPPED not in run.log


def test_directory_rows_keep_label_and_progress_column(transfer, http_server, tmp_path, wine):
    (http_server.root / "a.bin").write_bytes(os.urandom(50_000))
    run = transfer("--row-label", "<plugins>", "http", http_server.url("a.bin"),
                   win(wine, tmp_path / "a.bin"))
    assert run.ok
    assert run.view_calls("SetRowLabel") == []
    assert run.view_calls("SetRowProgress") == []
    assert run.view_calls("SetFileProgress")[-1] == "100"


def test_incomplete_or_unusable_responses_fail(transfer, http_server, tmp_path, wine):
    http_server.route("/nolength", without_length(b"z" * 5000))
    http_server.route("/short", partial_body(100_000, 40_000))
    http_server.route("/reset", partial_body(100_000, 40_000, then="reset"))
    http_server.route("/busy", reply(503, b"come back later"))
    for path in ("nolength", "short", "reset", "busy"):
        out = tmp_path / f"{path}.bin"
        run = transfer("http", http_server.url(path), win(wine, out))
        assert not run.ok, path
        assert "ShowStatus OK!" not in run.view, path
        assert run.open_files == 0
    # A body without Content-Length is refused before anything is written.
    assert not (tmp_path / "nolength.bin").exists()
    assert not (tmp_path / "busy.bin").exists()


def test_stalled_server_ends_in_the_time_out(transfer, http_server, tmp_path, wine):
    def silent(h):
        time.sleep(15)
        h.close_connection = True

    http_server.route("/stall-body", partial_body(100_000, 20_000, stall=15))
    http_server.route("/stall-headers", silent)
    for command, path in (("http", "stall-body"), ("http", "stall-headers"),
                          ("status", "stall-headers")):
        started = time.monotonic()
        args = [command, http_server.url(path)]
        if command == "http":
            args.append(win(wine, tmp_path / f"{path}.bin"))
        run = transfer("--timeout", "2000", *args, timeout=60)
        assert not run.ok, path
        assert run.open_files == 0
        assert run.elapsed_ms < 10_000, (command, path)
        assert time.monotonic() - started < 14


def test_cancel_stops_after_the_current_chunk(transfer, http_server, tmp_path, wine):
    body = os.urandom(3_000_000)
    http_server.route("/big.bin", paced_body(body))
    out = tmp_path / "big.bin"
    run = transfer("--cancel-at", "30", "http", http_server.url("big.bin"), win(wine, out))
    assert not run.ok
    assert run.open_files == 0
    assert "CANCEL" in run.view and "ShowStatus OK!" not in run.view
    last_bytes = [m[2] for m in run.messages if m[0] == 996][-1]
    written = out.stat().st_size
    assert written == last_bytes
    assert 0.3 * len(body) <= written < 0.4 * len(body)
    assert out.read_bytes() == body[:written]


def test_pause_holds_the_worker_until_released(transfer, http_server, tmp_path, wine):
    body = os.urandom(2_000_000)
    (http_server.root / "big.bin").write_bytes(body)
    out = tmp_path / "big.bin"
    run = transfer("--pause-at", "20", "--pause-ms", "1500", "http", http_server.url("big.bin"),
                   win(wine, out))
    assert run.ok
    assert "PAUSE" in run.view
    assert run.elapsed_ms >= 1400
    assert out.read_bytes() == body

    # Cancelled while paused (the user confirmed the cancel question): the
    # worker leaves without waiting for a release that never comes.
    out.unlink()
    run = transfer("--pause-at", "20", "--pause-ms", "500", "--cancel-paused", "http",
                   http_server.url("big.bin"), win(wine, out))
    assert not run.ok
    assert run.open_files == 0
    assert run.elapsed_ms < 5000


def test_https_is_not_redirected_to_plain_http(transfer, http_server, tmp_path, wine):
    made = make_certificate(tmp_path / "tls")
    if made is None:
        pytest.skip("openssl is not installed")
    cert, key, der = made
    assert transfer("trust", win(wine, der)).ok
    body = os.urandom(40_000)
    (http_server.root / "plain.bin").write_bytes(body)
    server = HttpsServer(cert, key)
    try:
        server.route("/secure.bin", reply(200, body))
        server.route("/to-https", reply(302, headers=[("Location", "/secure.bin")]))
        server.route("/to-http", reply(302, headers=[("Location", http_server.url("plain.bin"))]))
        server.route("/to-ftp", reply(302, headers=[("Location", "ftp://127.0.0.1/plain.bin")]))

        for path in ("secure.bin", "to-https"):
            out = tmp_path / f"{path}.out"
            run = transfer("http", server.url(path), win(wine, out))
            assert run.ok, path
            assert out.read_bytes() == body
            assert transfer("status", server.url(path)).ok
        # Downgraded to plain HTTP: refused everywhere, nothing stored.
        out = tmp_path / "to-http.out"
        assert not transfer("http", server.url("to-http"), win(wine, out)).ok
        assert not out.exists()
        assert not transfer("status", server.url("to-http")).ok
        assert not transfer("fetch", server.url("to-http"), "100").ok
        # Sent to FTP: the redirect is not followed; the 302 itself is no file.
        out = tmp_path / "to-ftp.out"
        assert not transfer("http", server.url("to-ftp"), win(wine, out)).ok
        assert not out.exists()
        fetched = transfer("fetch", server.url("to-ftp"), "100")
        assert fetched.values["STATUSCODE"] == "302"
    finally:
        server.stop()


# --- FTP -------------------------------------------------------------------------

def test_ftp_downloads_share_one_connection(transfer, ftp_server, tmp_path, wine):
    sub = ftp_server.root / "pub" / "app" / "sub"
    sub.mkdir(parents=True)
    one, two = os.urandom(50_000), os.urandom(9_000)
    (sub / "one.dll").write_bytes(one)
    (ftp_server.root / "two.bin").write_bytes(two)
    target = tmp_path / "fresh" / "deeper"  # does not exist yet
    run = transfer("--log", win(wine, tmp_path / "update.log"), "ftp", "127.0.0.1",
                   ftp_server.port, "tester", "secret",
                   "/pub/app/sub/one.dll", win(wine, target / "one.dll"),
                   "two.bin", win(wine, target / "two.bin"))  # no "/": from "/"
    assert run.ok and run.files == [True, True]
    assert (target / "one.dll").read_bytes() == one
    assert (target / "two.bin").read_bytes() == two
    assert ftp_server.connections == 1
    assert run.log == ["FTP server: 127.0.0.1", "User name: tester", "Password: hide",
                       f"Port: {ftp_server.port}", "FTP server: 127.0.0.1 Successful connection."]
    assert "secret" not in "\n".join(run.log)
    labels = run.view_calls("SetRowLabel")
    assert labels == ["0 file.bin(48.8KB)", "0 file.bin(48.8KB)(8.8KB)"]
    sizes = [m[2] for m in run.messages if m[0] == 996]
    assert 50_000 in sizes and sizes[-1] == 9_000
    assert run.view.count("ShowStatus OK!") == 2


def test_ftp_directory_changes_only_when_it_differs(transfer, tmp_path, wine):
    server = ThreadFtpServer(tmp_path / "ftp")
    for folder, name in (("app", "a.dll"), ("app", "b.dll"), ("other", "c.dll")):
        (server.root / "pub" / folder).mkdir(parents=True, exist_ok=True)
        (server.root / "pub" / folder / name).write_bytes(name.encode() * 100)
    got = tmp_path / "got"
    try:
        run = transfer("ftp", "127.0.0.1", server.port, "tester", "secret",
                       "/pub/app/a.dll", win(wine, got / "1"), "/pub/app/b.dll", win(wine, got / "2"),
                       "/pub/other/c.dll", win(wine, got / "3"), "/pub/app/a.dll",
                       win(wine, got / "4"))
    finally:
        server.stop()
    assert run.ok and run.files == [True] * 4
    assert server.arguments_of("CWD") == ["/pub/app/", "/pub/other/", "/pub/app/"]
    assert len(server.arguments_of("PASS")) == 1
    assert (got / "2").read_bytes() == b"b.dll" * 100
    assert (got / "4").read_bytes() == b"a.dll" * 100


def test_ftp_cancel_stops_after_the_current_chunk(transfer, tmp_path, wine):
    body = os.urandom(2_000_000)
    server = ThreadFtpServer(tmp_path / "ftp", filesystem=PacedFS, threaded=True)
    (server.root / "big.bin").write_bytes(body)
    out = tmp_path / "big.bin"
    try:
        run = transfer("--cancel-at", "30", "ftp", "127.0.0.1", server.port, "tester", "secret",
                       "/big.bin", win(wine, out))
    finally:
        server.stop()
    assert not run.ok
    assert run.open_files == 0
    assert "ShowStatus OK!" not in run.view
    written = out.stat().st_size
    assert written == [m[2] for m in run.messages if m[0] == 996][-1]
    assert 0.3 * len(body) <= written < 0.4 * len(body)
    assert out.read_bytes() == body[:written]


def test_ftp_failures_are_logged(transfer, ftp_server, tmp_path, wine):
    (ftp_server.root / "pub").mkdir()
    log = tmp_path / "update.log"
    run = transfer("--log", win(wine, log), "ftp", "127.0.0.1", ftp_server.port, "tester",
                   "secret", "/pub/missing.dll", win(wine, tmp_path / "a"),
                   "/nowhere/a.dll", win(wine, tmp_path / "b"))
    assert run.files == [False, False]
    assert "Can not get file length." in run.log
    assert "Unable to open the file in the Ftp server: missing.dll" in run.log
    assert "Unable to set the current directory on the server: /nowhere/" in run.log

    port = closed_port()
    run = transfer("--log", win(wine, tmp_path / "u2.log"), "ftp", "127.0.0.1", port, "", "",
                   "/a", win(wine, tmp_path / "c"))
    assert not run.ok
    assert run.log[-1] == "FTP server: 127.0.0.1 Connection Failure."
    assert f"Port: {port}" in run.log

    run = transfer("--log", win(wine, tmp_path / "u3.log"), "ftp", "", "0", "", "", "/a",
                   win(wine, tmp_path / "d"))
    assert not run.ok
    assert run.log == [" FTP server name can not be empty."]


def test_ftp_listing_filters_recurses_and_names(transfer, ftp_server, tmp_path, wine):
    app = ftp_server.root / "pub" / "app"
    (app / "sub" / "deeper").mkdir(parents=True)
    (app / "a.dll").write_bytes(b"a" * 6)
    (app / "README.TXT").write_bytes(b"r" * 7)
    (app / "x.exe").write_bytes(b"x")
    (app / "sub" / "B.DLL").write_bytes(b"b" * 500)
    (app / "sub" / "deeper" / "c.dll").write_bytes(b"c" * 5)
    run = transfer("ftplist", "127.0.0.1", ftp_server.port, "tester", "secret", "/pub/app",
                   "*.DLL,,readme.txt", "1")
    assert run.ok
    assert sorted(run.entries) == sorted([
        ("", "a.dll", "_pub_app.a.dll", 6),
        ("", "README.TXT", "_pub_app.README.TXT", 7),
        ("sub", "B.DLL", "_pub_app_sub.B.DLL", 500),
        ("sub/deeper", "c.dll", "_pub_app_sub_deeper.c.dll", 5),
    ])

    run = transfer("ftplist", "127.0.0.1", ftp_server.port, "tester", "secret", "/pub/app",
                   "*.dll, readme.txt", "0")
    assert sorted(e[1] for e in run.entries) == ["a.dll"]

    run = transfer("--log", win(wine, tmp_path / "update.log"), "ftplist", "127.0.0.1",
                   ftp_server.port, "tester", "secret", "/pub/none", "", "1")
    assert not run.ok
    assert "Can not open the server folder: /pub/none" in run.log


def test_ftp_listing_with_names_that_leave_the_folder_fails(transfer, tmp_path, wine):
    # Once such names were skipped; now the listing (and so its item) fails,
    # naming the first one, and nothing of it is kept for a download.
    server = ThreadFtpServer(tmp_path / "hostile", hostile=True)
    try:
        run = transfer("--log", win(wine, tmp_path / "update.log"), "ftplist", "127.0.0.1",
                       server.port, "tester", "secret", "/", "", "1")
    finally:
        server.stop()
    assert not run.ok
    assert "good.dll" not in [e[1] for e in run.entries]
    refused = [l for l in run.log if l.startswith("The listed name cannot be used on Windows (")]
    assert len(refused) == 1 and "evil.dll" in refused[0], run.log


# --- Local sources ---------------------------------------------------------------

def test_local_listing_and_temporary_names(transfer, tmp_path, wine):
    root = tmp_path / "root"
    (root / "sub" / "deeper").mkdir(parents=True)
    (root / "x.dll").write_bytes(b"1")
    (root / "sub" / "x.dll").write_bytes(b"22")
    (root / "sub" / "readme.txt").write_bytes(b"3")
    (root / "sub" / "deeper" / "y.DLL").write_bytes(b"4")
    (root / "skip.exe").write_bytes(b"5")
    winroot = win(wine, root)
    flat = winroot.replace("\\", "_").replace(":", "_")
    run = transfer("locallist", winroot, "*.DLL,,readme.txt", "1")
    assert run.ok
    assert sorted(run.entries) == sorted([
        ("", "x.dll", flat + ".x.dll", 0),
        ("sub", "x.dll", flat + "_sub.x.dll", 0),
        ("sub", "readme.txt", flat + "_sub.readme.txt", 0),
        ("sub\\deeper", "y.DLL", flat + "_sub_deeper.y.DLL", 0),
    ])
    run = transfer("locallist", winroot, "", "0")
    assert sorted(e[1] for e in run.entries) == ["skip.exe", "x.dll"]

    run = transfer("--log", win(wine, tmp_path / "update.log"), "locallist",
                   winroot + "\\missing", "", "1")
    assert not run.ok
    assert run.log == ["Folder does not exist: " + winroot + "\\missing"]


def test_copy_local_content_and_megabyte_rate(transfer, tmp_path, wine):
    body = os.urandom(3_000_000)
    source = tmp_path / "src.bin"
    source.write_bytes(body)
    out = tmp_path / "copy.bin"
    run = transfer("copy", win(wine, source), win(wine, out))
    assert run.ok
    assert out.read_bytes() == body
    assert run.view[0] == "SetRowLabel 0 file.bin(2.9MB)"
    rates = [c.split(" ", 1)[1] for c in run.view_calls("SetRowRate")]
    assert rates and all(re.match(r"^\d+\.\dMB/s$", r) for r in rates)
    assert run.view_calls("SetRateLine")[-1].startswith("2.9MB (")
    assert [m for m in run.messages if m[0] == 996][-1] == (996, len(body), len(body))
    assert run.view[-1] == "ShowStatus OK!"

    run = transfer("--log", win(wine, tmp_path / "update.log"), "copy",
                   win(wine, tmp_path / "nope.bin"), win(wine, tmp_path / "x.bin"))
    assert not run.ok
    assert run.log == ["Failed to read the file: " + win(wine, tmp_path / "nope.bin")]


def test_small_file_checks(transfer, tmp_path, wine):
    (tmp_path / "five").write_bytes(b"12345")
    (tmp_path / "empty").write_bytes(b"")

    def checks(name, size):
        run = transfer("checks", win(wine, tmp_path / name), size)
        return (run.values["EXISTSWITHSIZE"], run.values["ISDIRECTORY"], run.values["NONEMPTY"])

    assert checks("five", 5) == ("1", "0", "1")
    assert checks("five", 4) == ("0", "0", "1")
    assert checks("empty", 0) == ("1", "0", "0")
    assert checks("missing", 0) == ("0", "0", "0")
    assert checks("", 0)[1] == "1"  # the folder itself


# --- HTTP text fetcher -----------------------------------------------------------

READ_PREFIX = bytes.fromhex("d2d1b6c1")            # "已读" in GBK
BYTES_WORD = bytes.fromhex("d7d6bddacafd")         # "字节数" in GBK


def slow_text(pieces, pause):
    def handler(h):
        h.send_response(200)
        h.send_header("Content-Length", str(sum(len(p) for p in pieces)))
        h.end_headers()
        for i, piece in enumerate(pieces):
            if i:
                time.sleep(pause)
            h.wfile.write(piece)
            h.wfile.flush()
    return handler


def test_text_fetch_reads_the_whole_body_with_status_texts(transfer, http_server):
    text = b"[system]\r\n" + b"k=v\r\n" * 2000
    http_server.route("/update.ini", slow_text([text[:5000], text[5000:]], 1.2))
    # The update check's 100 ms data-receive time-out does not cut off a
    # server that pauses for longer in the middle of the body.
    run = transfer("fetch", http_server.url("update.ini"), "100")
    assert run.ok
    assert int(run.values["TEXTLEN"]) == len(text)
    assert run.hex_value("TEXT") == text[:4096]
    assert run.values["STATUSCODE"] == "200"
    assert run.hex_value("HEADERS").startswith(b"HTTP/1.")
    assert run.hex_value("FINALSTATUS") == b""
    reads = [t for t in run.status_texts if t.startswith(READ_PREFIX)]
    assert reads
    assert all(re.match(rb"^\xd2\xd1\xb6\xc1\d+\xd7\xd6\xbd\xda\xca\xfd(\(\d+\.\d Kb/s\))?$", t)
               for t in reads)
    # The second piece came after more than a second: the rate form.
    assert reads[-1].startswith(READ_PREFIX + str(len(text)).encode() + BYTES_WORD + b"(")
    assert reads[-1].endswith(b" Kb/s)")
    assert b"Sending request..." in run.status_texts


def test_text_fetch_refuses_oversized_and_truncated_bodies(transfer, http_server):
    big = b"a" * (5 << 20)
    http_server.route("/big-unannounced", without_length(big))
    http_server.route("/big-announced", reply(200, big))
    http_server.route("/short", partial_body(100_000, 30_000))
    for path in ("big-unannounced", "big-announced", "short"):
        run = transfer("fetch", http_server.url(path), "0")
        assert not run.ok, path
        assert run.values["TEXTLEN"] == "0"
        assert run.values["ERRORTEXT"] != ""

    run = transfer("fetch", f"http://127.0.0.1:{closed_port()}/x", "100")
    assert not run.ok
    assert run.values["TEXTLEN"] == "0"
