"""Helpers of the transfer engine tests: running transfer_probe.exe and
reading its output, and an FTP server whose listings carry hostile names."""
import http.server
import shutil
import ssl
import subprocess
import tempfile
import threading
import time
from pathlib import Path

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer, ThreadedFTPServer


class ProbeRun:
    """The lines of one transfer_probe.exe run, sorted by kind."""

    def __init__(self, stdout):
        self.stdout = stdout
        self.view, self.messages, self.log, self.entries = [], [], [], []
        self.values = {}
        self.files = []
        self.status_texts = []
        for line in stdout.splitlines():
            kind, _, rest = line.partition(" ")
            if kind == "VIEW":
                self.view.append(rest)
            elif kind == "MSG":
                self.messages.append(tuple(int(v) for v in rest.split()))
            elif kind == "LOG":
                self.log.append(rest)
            elif kind == "ENTRY":
                sub, name, temp, size = rest.split("\t")
                self.entries.append((sub, name, temp, int(size)))
            elif kind == "FILE":
                self.files.append(rest == "1")
            elif kind == "STATUSTEXT":
                self.status_texts.append(bytes.fromhex(rest))
            else:
                self.values[kind] = rest

    @property
    def ok(self):
        return self.values.get("RESULT") == "1"

    @property
    def elapsed_ms(self):
        return int(self.values["ELAPSED"])

    @property
    def open_files(self):
        return int(self.values["OPENFILES"])

    def hex_value(self, key):
        return bytes.fromhex(self.values.get(key, ""))

    def view_calls(self, name):
        """Arguments of every view call of one kind, in order."""
        return [c[len(name) + 1:] for c in self.view if c == name or c.startswith(name + " ")]


def run_probe(wine, exe, *args, timeout=90):
    """Runs the probe with its output in a file, not a pipe: the first
    program that creates a window starts Wine's desktop process, which
    inherits the standard handles and would keep a pipe open long after the
    probe has ended."""
    with tempfile.TemporaryFile() as out:
        proc = wine.popen(exe, [str(a) for a in args], stdout=out, stderr=subprocess.DEVNULL,
                          stdin=subprocess.DEVNULL)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise
        out.seek(0)
        stdout = out.read().decode("latin-1")
    assert "RESULT" in stdout, stdout
    return ProbeRun(stdout)


HOSTILE_LINES = [
    "-rw-r--r--   1 owner    group           5 Jan 01 00:00 ../evil.dll",
    "-rw-r--r--   1 owner    group           5 Jan 01 00:00 sub\\evil.dll",
    "-rw-r--r--   1 owner    group           5 Jan 01 00:00 x.dll:stream",
    "drwxr-xr-x   1 owner    group           0 Jan 01 00:00 ../up",
    "-rw-r--r--   1 owner    group           7 Jan 01 00:00 good.dll",
]


class _HostileFS(AbstractedFS):
    def format_list(self, basedir, listing, ignore_err=True):
        for line in HOSTILE_LINES:
            yield (line + "\r\n").encode()


class ThreadFtpServer:
    """An FTP server (user "tester", password "secret") in a thread on
    127.0.0.1 that records every command it receives; with `hostile` its
    every listing is HOSTILE_LINES; `filesystem` replaces its view of the
    files (an AbstractedFS class)."""

    def __init__(self, root, hostile=False, filesystem=None, threaded=False):
        self.root = Path(root)
        self.root.mkdir(parents=True, exist_ok=True)
        self.commands = []
        authorizer = DummyAuthorizer()
        authorizer.add_user("tester", "secret", str(self.root), perm="elr")
        commands = self.commands

        class Handler(FTPHandler):
            def pre_process_command(self, line, cmd, arg):
                commands.append((cmd, arg))
                return super().pre_process_command(line, cmd, arg)

        Handler.authorizer = authorizer
        if hostile:
            Handler.abstracted_fs = _HostileFS
        if filesystem:
            Handler.abstracted_fs = filesystem
        # A server whose file reads block must serve each client on a thread
        # of its own, or one held transfer would hold every connection.
        server_class = ThreadedFTPServer if threaded else FTPServer
        self._server = server_class(("127.0.0.1", 0), Handler)
        self.port = self._server.address[1]
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"timeout": 0.2}, daemon=True)
        self._thread.start()
        time.sleep(0.1)

    def arguments_of(self, command):
        return [arg for cmd, arg in self.commands if cmd == command]

    def stop(self):
        self._server.close_all()


def make_certificate(folder):
    """A self-signed certificate for 127.0.0.1: (pem_cert, pem_key, der_cert),
    or None when openssl is not installed."""
    if not shutil.which("openssl"):
        return None
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    cert, key, der = folder / "cert.pem", folder / "key.pem", folder / "cert.der"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
    subprocess.run(["openssl", "x509", "-in", str(cert), "-outform", "DER", "-out", str(der)],
                   check=True, capture_output=True)
    return cert, key, der


class _RouteHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        route = self.server.routes.get(self.path.split("?")[0])
        if route is None:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            route(self)


class HttpsServer:
    """HTTPS on 127.0.0.1 with routes only (handler(request_handler))."""

    def __init__(self, cert, key):
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _RouteHandler)
        self._server.daemon_threads = True
        self._server.routes = {}
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(str(cert), str(key))
        self._server.socket = context.wrap_socket(self._server.socket, server_side=True)
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def route(self, path, handler):
        self._server.routes[path] = handler

    def url(self, path=""):
        return f"https://localhost:{self.port}/{path.lstrip('/')}"

    def stop(self):
        self._server.shutdown()
        self._server.server_close()
