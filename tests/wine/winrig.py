"""The Wine test rig: one Wine prefix and one Xvfb display per test session,
the test host that stands in for the publisher's program, and real servers on
127.0.0.1 (HTTP in a thread, FTP through pyftpdlib in a child process)."""
import http.server
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

STAMP = re.compile(r"^\d\d:\d\d:\d\d    ")
# The test host's escapes in its record lines ("\\" stands for a backslash).
_UNESCAPED = {"n": "\n", "r": "\r", "t": "\t"}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wine_loader():
    """The Wine loader this machine can run: 32-bit Wine runs the shipped
    programs; where the kernel cannot execute 32-bit code, 64-bit Wine runs
    the x86-64 build of the same sources."""
    for loader, arch in (("/usr/lib/wine/wine", "win32"), ("/usr/lib/wine/wine64", "win64")):
        try:
            if subprocess.run([loader, "--version"], capture_output=True, timeout=30).returncode == 0:
                return loader, arch
        except OSError:
            continue
    raise RuntimeError("no runnable Wine loader")


class Wine:
    """A private Wine prefix on a private Xvfb display."""

    def __init__(self, workdir, display=None):
        """`display`: an X display to show the windows on; by default a
        private Xvfb display is started."""
        self.loader, self.arch = wine_loader()
        self.workdir = Path(workdir)
        self.prefix = self.workdir / "prefix"
        self._xvfb = None
        self.display = display
        self.env = None

    def _start_xvfb(self):
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        self.display = ":" + number

    def start(self):
        self.workdir.mkdir(parents=True, exist_ok=True)
        if not self.display:
            self._start_xvfb()
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "WINEARCH": self.arch,
            "DISPLAY": self.display,
        })
        self.env.pop("WAYLAND_DISPLAY", None)
        subprocess.run([self.loader, "wineboot", "--init"], env=self.env, check=True, timeout=300,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, timeout=300)
        # Keep one wineserver alive for the whole session: starting it per
        # program costs a second or more.
        self._keepalive = subprocess.Popen(["wineserver", "-p"], env=self.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def stop(self):
        if self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self._xvfb:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
        shutil.rmtree(self.workdir, ignore_errors=True)

    @staticmethod
    def winpath(path):
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    def run(self, exe, args=(), cwd=None, timeout=60):
        """Runs a program to its end; its output goes through files, not
        pipes: Wine's desktop process, started by the first window of the
        session, inherits the pipes and would hold them open."""
        command = [self.loader, str(exe), *[str(a) for a in args]]
        with tempfile.TemporaryFile(dir=self.workdir) as out, \
                tempfile.TemporaryFile(dir=self.workdir) as err:
            proc = subprocess.Popen(command, env=self.env, cwd=str(cwd) if cwd else None,
                                    stdout=out, stderr=err)
            # A blocking wait, with the time-out on a timer: a wait with a
            # time-out polls at up to 50 ms intervals, and the benchmarks
            # time these runs.
            timer = threading.Timer(timeout, proc.kill)
            timer.start()
            try:
                returncode = proc.wait()
            finally:
                timed_out = not timer.is_alive()
                timer.cancel()
            if timed_out:
                raise subprocess.TimeoutExpired(command, timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(command, returncode,
                                               out.read().decode(errors="replace"),
                                               err.read().decode(errors="replace"))

    def popen(self, exe, args=(), cwd=None, **kwargs):
        return subprocess.Popen([self.loader, str(exe), *[str(a) for a in args]], env=self.env,
                                cwd=str(cwd) if cwd else None, **kwargs)

    def screenshot(self, png_path):
        subprocess.run(["import", "-display", self.display, "-window", "root", str(png_path)],
                       check=True, timeout=30)
        return Path(png_path)

    @staticmethod
    def pixel(png_path, x, y):
        out = subprocess.run(["convert", str(png_path), "-format", f"%[pixel:p{{{x},{y}}}]", "info:"],
                             capture_output=True, text=True, check=True).stdout.strip()
        m = re.search(r"\((\d+),(\d+),(\d+)", out)
        if m:
            return tuple(int(v) for v in m.groups())
        names = {"black": (0, 0, 0), "white": (255, 255, 255), "red": (255, 0, 0),
                 "lime": (0, 255, 0), "blue": (0, 0, 255)}
        if out in names:
            return names[out]
        raise ValueError(f"unexpected pixel text {out!r}")


class HostRun:
    """What the test host saw of one updater run."""

    def __init__(self, record_path, install_dir, cwd, elapsed):
        self.install_dir = Path(install_dir)
        self.cwd = Path(cwd)
        self.elapsed = elapsed
        self.messages, self.boxes = [], []
        self.exited = False
        self.timed_out = False
        self.hwnd = None
        text = Path(record_path).read_text(errors="replace") if Path(record_path).exists() else ""
        for line in text.splitlines():
            kind, _, rest = line.partition(" ")
            if kind == "READY":
                self.hwnd = int(rest)
            elif kind == "MSG":
                a, b, c = rest.split()
                self.messages.append((int(a), int(b), int(c)))
            elif kind == "BOX":
                caption, body, answer = (rest.split("\t") + ["", "", ""])[:3]
                unescape = lambda s: re.sub(r"\\(.)", lambda m: _UNESCAPED.get(m.group(1), m.group(1)), s)
                self.boxes.append((unescape(caption), unescape(body)))
            elif kind == "EXIT":
                self.exited = True
            elif kind == "TIMEOUT":
                self.timed_out = True
        self.record = text

    @property
    def results(self):
        return [w for (m, w, _) in self.messages if m == 999]

    def log(self):
        path = self.cwd / "update.log"
        return path.read_text(errors="replace") if path.exists() else ""

    def log_lines(self):
        return [STAMP.sub("", l) for l in self.log().splitlines()]


class BackgroundRun:
    def __init__(self, proc, finish):
        self.proc = proc
        self._finish = finish

    def wait(self, timeout=120):
        self.proc.wait(timeout)
        return self._finish()


def run_updater(wine, testhost, install_dir, args="/HWND:{hwnd} /log", answers=("ok",),
                timeout=60, cwd=None, background=False, program="update.exe"):
    install_dir = Path(install_dir)
    cwd = Path(cwd) if cwd else install_dir
    record = Path(tempfile.mkstemp(prefix="host-", suffix=".txt", dir=wine.workdir)[1])
    # `program` may also be a whole Windows path (another spelling of it).
    exe = program if ":" in program else wine.winpath(install_dir / program)
    host_args = [wine.winpath(record), str(int(timeout * 1000)), ",".join(answers) or "-",
                 wine.winpath(cwd), exe, *args.split()]
    started = time.monotonic()
    proc = wine.popen(testhost, host_args, cwd=cwd, stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL)

    def finish():
        return HostRun(record, install_dir, cwd, time.monotonic() - started)

    if background:
        return BackgroundRun(proc, finish)
    try:
        proc.wait(timeout + 30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    return finish()


class _Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _dispatch(self):
        self.server.requests.append(self.path)
        route = self.server.routes.get(self.path.split("?")[0])
        if route is not None:
            route(self)
            return True
        return False

    def do_GET(self):
        if not self._dispatch():
            super().do_GET()

    def do_HEAD(self):
        if not self._dispatch():
            super().do_HEAD()


class _QuietServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A client that reads only the head of an answer (a status check)
        # drops the connection: nothing to report.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


class HttpServer:
    def __init__(self, root):
        self.root = Path(root)
        self.root.mkdir(parents=True, exist_ok=True)
        handler = lambda *a, **kw: _Handler(*a, directory=str(self.root), **kw)
        self._server = _QuietServer(("127.0.0.1", 0), handler)
        self._server.daemon_threads = True
        self._server.routes = {}
        self._server.requests = []
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    @property
    def requests(self):
        return self._server.requests

    def route(self, path, handler):
        self._server.routes[path] = handler

    def url(self, path=""):
        return f"http://127.0.0.1:{self.port}/{path.lstrip('/')}"

    def stop(self):
        self._server.shutdown()
        self._server.server_close()


class FtpServer:
    USER, PASSWORD = "tester", "secret"

    def __init__(self, root, workdir):
        self.root = Path(root)
        self.root.mkdir(parents=True, exist_ok=True)
        self.port = free_port()
        self._log = Path(workdir) / f"ftp-{self.port}.log"
        self._log_file = open(self._log, "w")
        self._proc = subprocess.Popen(
            ["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", str(self.port),
             "-d", str(self.root), "-u", self.USER, "-P", self.PASSWORD, "-w"],
            stdout=self._log_file, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1) as s:
                    s.recv(100)
                return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("FTP server did not start")

    @property
    def connections(self):
        return self._log.read_text(errors="replace").count("logged in")

    def url(self, path="", with_credentials=False):
        return f"ftp://127.0.0.1:{self.port}/{path.lstrip('/')}"

    def stop(self):
        self._proc.send_signal(signal.SIGTERM)
        try:
            self._proc.wait(10)
        except subprocess.TimeoutExpired:
            self._proc.kill()
        self._log_file.close()


class DriveRun:
    """What the dialog driver (testhost.exe --drive) recorded: the output
    lines of each script command, in order."""

    def __init__(self, record_path):
        text = Path(record_path).read_text(errors="replace") if Path(record_path).exists() else ""
        self.record = text
        self.errors = [l for l in text.splitlines() if l.startswith("ERROR")]
        self.steps = []  # (command, [result lines])
        for line in text.splitlines():
            if line.startswith("> "):
                self.steps.append((self.unescape(line[2:]), []))
            elif self.steps:
                self.steps[-1][1].append(line)

    @staticmethod
    def unescape(text):
        marks = {"n": "\n", "r": "\r", "t": "\t"}
        return re.sub(r"\\(.)", lambda m: marks.get(m.group(1), m.group(1)), text)

    def results(self, kind, raw=False):
        """Every result line starting with `kind` (LIST, TEXT, ENABLED, BOX,
        TITLE, ...), without that word."""
        out = []
        for _, lines in self.steps:
            out += [l[len(kind) + 1:] for l in lines if l.startswith(kind + " ") or l == kind]
        return out if raw else [self.unescape(l) for l in out]

    def boxes(self):
        """(caption, text) of every message box; fields are tab-separated."""
        return [tuple(self.unescape(part) for part in b.split("\t")[:2])
                for b in self.results("BOX", raw=True)]


def drive(wine, testhost, program, script_lines, args=(), timeout=240):
    """Runs `program` under the dialog driver with the given script."""
    script = Path(tempfile.mkstemp(prefix="drive-", suffix=".txt", dir=wine.workdir)[1])
    script.write_text("\n".join(script_lines) + "\n")
    record = script.with_suffix(".rec")
    wine.run(testhost, ["--drive", wine.winpath(script), wine.winpath(record), wine.winpath(program),
                        *args], timeout=timeout)
    return DriveRun(record)
