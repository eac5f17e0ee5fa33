#!/usr/bin/python3
"""End-to-end update benchmark.

update.exe, started under Wine in the "Hide" style, updates one 256 MiB file
over HTTP (from 127.0.0.1, MD5-checked) and a directory item of 2,000 files
(200 MiB, 20 subfolders) from a local folder: download into its temporary
folder, back-up of every old file, copy, removal of the back-ups and the
temporary folder.

Reference, in the same run, the same Wine prefix and the same server:
update_reference.exe (bench/update_reference_win.cpp), a minimal Win32
program doing the same work with plain API calls, once as it is and once
with the flushes crash safety needs (each back-up and each new file flushed,
a small journal). The two programs run alternately; the best of the rounds
counts for each. Ratios: update.exe / reference for the whole update (the
fixed 500 ms wait of the update stage taken off) and per phase: the HTTP
download (rate), the directory item, the update stage, and start-up with a
check that finds nothing (against the reference's "check": start, read the
local INI, fetch the same server-side file). update.exe's phases come from
its log, each line stamped as it appears. A shell pipeline (curl, md5sum,
cp -r) is shown as a second reference.
Goals: whole update <= 1.5 x the flushed reference, HTTP rate >= 0.8 x the
reference's, the check that finds nothing <= 1.5 x.

Memory: the peak resident set (VmHWM) of the update.exe process, sampled
from /proc while it runs, for a 256 MiB and a 1 GiB file item, next to a
run that finds nothing to update (what Wine and the program take anyway).
Goal: at most 32 MiB, not growing with the file size.

Size: update.exe as shipped (the 32-bit release build). Goal: <= 600 KiB.

    /usr/bin/python3 bench/update_e2e.py <abs-build-dir>
"""
import os
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import winrig  # noqa: E402

MIB = 1024 * 1024
# A smaller, quicker run for working on the updater's speed:
#   CORVANE_BENCH_QUICK=1 (64 MiB file, 500 files, one round, no 1 GiB run).
QUICK = os.environ.get("CORVANE_BENCH_QUICK") == "1"
BIG_MIB = 64 if QUICK else 256
TREE_FILES, TREE_FOLDERS = (500 if QUICK else 2000), 20
TREE_FILE_SIZE = 200 * MIB // 2000
ROUNDS = 1 if QUICK else 3
# A check takes some 40 ms, about what one busy moment of the machine adds:
# it is cheap to run often enough for a quiet pair.
CHECK_ROUNDS = 5 if QUICK else 15
# The wait the update stage prescribes before its back-ups; not counted.
STAGE_WAIT = 0.5
GOAL_WHOLE, GOAL_RATE, GOAL_CHECK = 1.5, 0.8, 1.5

# update.exe's phases by its log lines: (name, first line, last line).
PHASES = [
    ("HTTP download", lambda t: t.startswith("Download: http"), lambda t: t == "MD5 checksum success."),
    ("directory item", lambda t: t == "Retrieving files...", lambda t: t == "Download complete."),
    ("update stage", lambda t: t == "Related applications are closed.", lambda t: t == "Update Finished."),
]


def ensure_file(path, size):
    path.parent.mkdir(parents=True, exist_ok=True)
    if not path.exists() or path.stat().st_size != size:
        subprocess.run(f'head -c {size} /dev/urandom > "{path}.tmp" && mv "{path}.tmp" "{path}"',
                       shell=True, check=True)
    return path


def ensure_tree(root):
    marker = root / ".complete"
    if marker.exists():
        return root
    shutil.rmtree(root, ignore_errors=True)
    for i in range(TREE_FILES):
        folder = root / f"part{i % TREE_FOLDERS:02d}"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / f"data{i:04d}.bin").write_bytes(os.urandom(TREE_FILE_SIZE))
    marker.write_text("")
    return root


def md5_of(path):
    out = subprocess.run(["md5sum", str(path)], capture_output=True, text=True, check=True).stdout
    return out.split()[0]


def tree_files(root):
    return sorted(p.relative_to(root) for p in root.rglob("*") if p.is_file() and p.name != ".complete")


def install(app, updater_exe, big_old, tree_src, port):
    """The installed version 1.0: the old big file, the old data folder and
    update.exe with its local configuration and a wizard design."""
    shutil.rmtree(app, ignore_errors=True)
    updater = app / "updateApp"
    updater.mkdir(parents=True)
    shutil.copy2(updater_exe, updater / "update.exe")
    shutil.copy2(REPO / "samples" / "ui" / "ui.dat", updater / "ui.dat")
    subprocess.run(["cp", "--reflink=never", str(big_old), str(app / "big.bin")], check=True)
    if tree_src:
        subprocess.run(["cp", "-r", str(tree_src), str(app / "data")], check=True)
    local = (f"[system]\ncloselog=0\nurls=url0=http://127.0.0.1:{port}/update.ini\n\n"
             "[file0]\nver=1.0\n\n[dir0]\nver=1.0\n")
    (updater / "update.dat").write_bytes(local.replace("\n", "\r\n").encode())
    subprocess.run(["sync"])
    return updater


def server_config(port, big_name, big_md5, tree_src, new):
    version = "2.0" if new else "1.0"
    text = (f"[file0]\nver={version}\nurls=url0=http://127.0.0.1:{port}/{big_name}\npath={{parent}}\n"
            f"rename=big.bin\nmd5={big_md5}\nshow_type=2\nop_mode=1\n\n")
    if tree_src:
        text += (f"[dir0]\nver={version}\nurls=url0=file://{winrig.Wine.winpath(tree_src)}\n"
                 "path={parent}\\data\nis_inc_subdir=1\nshow_type=2\nop_mode=1\n\n")
    text += "[UI]\nstart_win=0\nnoupdate_win=0\n"
    return text.replace("\n", "\r\n").encode()


class PeakMemory:
    """Samples VmHWM of the update.exe processes of one Wine prefix."""

    def __init__(self, prefix):
        self.marker = f"WINEPREFIX={prefix}".encode()
        self.peak_kib = 0
        self._paths = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def _find(self):
        """The update.exe processes of the prefix. A scan of /proc holds the
        interpreter for many milliseconds, which the program being timed
        would wait for: it is repeated only until the process is found."""
        found = []
        for entry in os.scandir("/proc"):
            if not entry.name.isdigit():
                continue
            try:
                if not Path(entry.path, "comm").read_text().startswith("update.exe"):
                    continue
                if self.marker in Path(entry.path, "environ").read_bytes().split(b"\0"):
                    found.append(entry.path)
            except OSError:
                continue
        return found

    def _sample(self):
        self._paths = self._paths or self._find()
        for path in self._paths:
            try:
                for line in Path(path, "status").read_text().splitlines():
                    if line.startswith("VmHWM:"):
                        self.peak_kib = max(self.peak_kib, int(line.split()[1]))
            except OSError:
                continue

    def _run(self):
        while not self._stop.is_set():
            self._sample()
            time.sleep(0.05)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


class LogWatch:
    """Stamps each line of update.log with the time it appeared (the log's
    own stamps are whole seconds). The updater writes every line through at
    once, so a short poll sees it within a few milliseconds."""

    def __init__(self, path):
        self.path = path
        self.lines = []  # (seconds since start, text without its stamp)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self.started = time.monotonic()

    def _run(self):
        offset, rest = 0, b""
        while True:
            stopping = self._stop.is_set()
            try:
                size = self.path.stat().st_size
            except OSError:
                size = 0
            if size > offset:
                with open(self.path, "rb") as f:
                    f.seek(offset)
                    data = f.read(size - offset)
                offset += len(data)
                now = time.monotonic() - self.started
                parts = (rest + data).split(b"\r\n")
                rest = parts.pop()
                for part in parts:
                    text = winrig.STAMP.sub("", part.decode(errors="replace"))
                    self.lines.append((now, text))
            if stopping:
                return
            time.sleep(0.004)

    def phase(self, first, last):
        begin = next((t for t, text in self.lines if first(text)), None)
        end = next((t for t, text in self.lines if last(text) and begin is not None and t >= begin), None)
        return None if begin is None or end is None else end - begin

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


def run_update_exe(rig, updater, timeout=900, watched=True):
    """update.exe /log as the host program would start it (no host window:
    its messages are not what is measured). Wall time, the log's phases and
    the peak memory; `watched` False times the run alone, as the
    reference's (the watchers share the machine's two cores with it)."""
    log = updater / "update.log"
    log.unlink(missing_ok=True)
    if not watched:
        started = time.monotonic()
        proc = rig.run(updater / "update.exe", ["/log"], cwd=updater, timeout=timeout)
        return time.monotonic() - started, {}, 0, [], proc
    with PeakMemory(rig.prefix) as memory, LogWatch(log) as watch:
        started = time.monotonic()
        watch.started = started
        proc = rig.run(updater / "update.exe", ["/log"], cwd=updater, timeout=timeout)
        elapsed = time.monotonic() - started
    phases = {name: watch.phase(first, last) for name, first, last in PHASES}
    texts = [text for _, text in watch.lines]
    return elapsed, phases, memory.peak_kib, texts, proc


def run_reference(rig, reference, args, timeout=900):
    """update_reference.exe: wall time, its own phase times, success."""
    started = time.monotonic()
    proc = rig.run(reference, args, timeout=timeout)
    elapsed = time.monotonic() - started
    phases = {}
    for line in proc.stdout.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == "PHASE":
            phases[parts[1]] = float(parts[2]) / 1000
    return elapsed, phases, "RESULT 1" in proc.stdout


PIPELINE = r"""
set -e
curl -s -o "$TMP/file0/big.bin" "$URL"
echo "$MD5  $TMP/file0/big.bin" | md5sum -c --quiet -
cp -r "$SRC" "$TMP/dir0"
cp "$APP/big.bin" "$APP/big.bin.ebk"
cp -r "$APP/data" "$BACKUP/data"
cp "$TMP/file0/big.bin" "$APP/big.bin"
cp -r "$TMP/dir0/." "$APP/data/"
rm -rf "$APP/big.bin.ebk" "$BACKUP/data" "$TMP"
"""


def run_pipeline(work, app, url, big_md5, tree_src):
    tmp, backup = work / "pipe-tmp", work / "pipe-backup"
    for folder in (tmp / "file0", backup):
        folder.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ, TMP=str(tmp), URL=url, MD5=big_md5, SRC=str(tree_src), APP=str(app),
               BACKUP=str(backup))
    started = time.monotonic()
    subprocess.run(["bash", "-c", PIPELINE], env=env, check=True)
    return time.monotonic() - started


def check_update(texts, app, big_new, tree_src):
    """What a successful update leaves; an empty list when all is well."""
    faults = []
    if "Update finished successful." not in texts:
        faults.append("the log does not say the update finished")
    if (app / "big.bin").stat().st_size != big_new.stat().st_size or not \
            subprocess.run(["cmp", "-s", str(app / "big.bin"), str(big_new)]).returncode == 0:
        faults.append("big.bin differs from the served file")
    if tree_src and tree_files(app / "data") != tree_files(tree_src):
        faults.append("the data folder differs from the source folder")
    if list(app.rglob("*.ebk")):
        faults.append("back-ups left")
    return faults


class Best:
    """The best (least) of the rounds, per key."""

    def __init__(self):
        self.values = {}

    def add(self, key, value):
        if value is not None and (key not in self.values or value < self.values[key]):
            self.values[key] = value

    def get(self, key):
        return self.values.get(key)


def serve(root, port_file):
    """The HTTP server, run as a process of its own so that the benchmark's
    own threads never compete with it for the interpreter."""
    server = winrig.HttpServer(root)
    Path(port_file).write_text(str(server.port))
    threading.Event().wait()


def start_server(root, work):
    port_file = work / "port"
    proc = subprocess.Popen([sys.executable, __file__, "--serve", str(root), str(port_file)])
    for _ in range(100):
        if port_file.exists() and port_file.read_text():
            return proc, int(port_file.read_text())
        time.sleep(0.1)
    proc.kill()
    raise RuntimeError("the HTTP server did not start")


def ratio_text(value, reference, goal, higher_is_better=False):
    if not value or not reference:
        return "n/a"
    ratio = reference / value if higher_is_better else value / reference
    met = ratio >= goal if higher_is_better else ratio <= goal
    sign = ">=" if higher_is_better else "<="
    return f"{ratio:.2f} (goal {sign} {goal}: {'ok' if met else 'NOT MET'})"


def main():
    build = Path(sys.argv[1])
    data = build / "bench-data"
    loader, arch = winrig.wine_loader()
    tree = build / ("win" if arch == "win32" else "win64")
    reference = tree / "update_reference.exe"
    # The same check after asking the shell for the log banner's folders.
    reference_shell = tree / "update_reference_shell.exe"
    shipped = build / "win" / "update.exe"

    big = ensure_file(data / "http" / f"http_{BIG_MIB}m.bin", BIG_MIB * MIB)
    gig = None if QUICK else ensure_file(data / "http" / "http_1g.bin", 1024 * MIB)
    old = ensure_file(data / f"update_old_{BIG_MIB}m.bin", BIG_MIB * MIB)
    old_gig = None if QUICK else ensure_file(data / "update_old_1g.bin", 1024 * MIB)
    tree_src = ensure_tree(data / f"tree_{TREE_FILES}")
    digests = {f: md5_of(f) for f in (big, gig) if f}

    work = data / "update-e2e"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    rig = winrig.Wine(work / "wine")
    rig.start()
    server, port = start_server(data / "http", work)
    status = 0
    best = Best()
    peak = {}
    try:
        app = work / "app"
        config = data / "http" / "update.ini"
        app_win = winrig.Wine.winpath(app)

        def prepare(big_file, old_file, with_tree, new=True):
            updater = install(app, tree / "update.exe", old_file, tree_src if with_tree else None, port)
            config.write_bytes(server_config(port, big_file.name, digests[big_file],
                                             tree_src if with_tree else None, new))
            return updater

        # Start-up and a check that finds nothing, against the reference's
        # start, INI read and fetch of the same file.
        updater = prepare(big, old, False, new=False)
        # Once each first, not counted: the prefix's first programs pay for
        # what Wine sets up once.
        peak["idle"] = run_update_exe(rig, updater)[2]
        run_reference(rig, reference, ["check", winrig.Wine.winpath(updater / "update.dat")])
        run_reference(rig, reference_shell, ["check", winrig.Wine.winpath(updater / "update.dat")])
        for _ in range(CHECK_ROUNDS):
            best.add("check", run_update_exe(rig, updater, watched=False)[0])
            elapsed, _, ok = run_reference(rig, reference, ["check", winrig.Wine.winpath(updater / "update.dat")])
            if not ok:
                print("update e2e: the reference's check FAILED")
                status = 1
            best.add("ref check", elapsed)
            elapsed, _, ok = run_reference(rig, reference_shell,
                                           ["check", winrig.Wine.winpath(updater / "update.dat")])
            if ok:
                best.add("ref shell check", elapsed)

        url = f"http://127.0.0.1:{port}/{big.name}"
        for _ in range(ROUNDS):
            for flush in ("1", "0"):
                install(app, tree / "update.exe", old, tree_src, port)
                elapsed, phases, ok = run_reference(
                    rig, reference, ["update", url, digests[big], winrig.Wine.winpath(tree_src), app_win, flush])
                if not ok or list(app.rglob("*.ebk")):
                    print("update e2e: the reference's update FAILED")
                    status = 1
                key = "ref flushed" if flush == "1" else "ref"
                best.add(key, elapsed)
                for name, seconds in phases.items():
                    best.add(f"{key} {name}", seconds)

                if flush == "1":
                    updater = prepare(big, old, True)
                    elapsed, phases, kib, texts, _ = run_update_exe(rig, updater)
                    faults = check_update(texts, app, big, tree_src)
                    if faults:
                        print("update e2e: update.exe's update FAILED: " + "; ".join(faults))
                        print("   last log lines:\n      " + "\n      ".join(texts[-15:]))
                        status = 1
                        break
                    peak["256"] = max(peak.get("256", 0), kib)
                    best.add("update", elapsed)
                    for name, seconds in phases.items():
                        best.add(name, seconds)
            if status:
                break
            install(app, tree / "update.exe", old, tree_src, port)
            best.add("pipeline", run_pipeline(work, app, url, digests[big], tree_src))

        if status == 0 and not QUICK:
            updater = prepare(gig, old_gig, False)
            _, _, kib, texts, _ = run_update_exe(rig, updater)
            faults = check_update(texts, app, gig, None)
            if faults:
                print("update e2e: 1 GiB update FAILED: " + "; ".join(faults))
                status = 1
            peak["1g"] = kib
    finally:
        server.kill()
        server.wait()
        rig.stop()
        shutil.rmtree(work, ignore_errors=True)
        (data / "http" / "update.ini").unlink(missing_ok=True)

    which = f"{tree.name} build under {Path(loader).name}"
    g = best.get
    print(f"update e2e ({BIG_MIB} MiB over HTTP + {TREE_FILES:,} local files; best of {ROUNDS}, the check of {CHECK_ROUNDS}; {which}):")
    print(f"   {'':34} {'update.exe':>10} {'reference':>10} {'flushed':>10}   ratio to the flushed reference"
          " (the download phases: to the best of both)")
    whole = g("update") - STAGE_WAIT if g("update") else None
    stage = g("update stage") - STAGE_WAIT if g("update stage") else None
    # The download phases are the same work in both variants of the
    # reference: the best of all its rounds counts.
    either = lambda phase: min((v for v in (g(f"ref {phase}"), g(f"ref flushed {phase}")) if v), default=None)
    rows = [
        ("whole update (s)", whole, g("ref"), g("ref flushed"),
         ratio_text(whole, g("ref flushed"), GOAL_WHOLE)),
        ("  HTTP download + MD5 (s)", g("HTTP download"), g("ref http"), g("ref flushed http"), ""),
        ("  directory item (s)", g("directory item"), g("ref dir"), g("ref flushed dir"),
         ratio_text(g("directory item"), either("dir"), GOAL_WHOLE)),
        ("  update stage (s)", stage, g("ref stage"), g("ref flushed stage"),
         ratio_text(stage, g("ref flushed stage"), GOAL_WHOLE)),
        ("start-up + check, nothing new (s)", g("check"), g("ref check"), None,
         ratio_text(g("check"), g("ref check"), GOAL_CHECK)),
    ]
    fmt = lambda v: f"{v:10.2f}" if v is not None else f"{'-':>10}"
    for name, ours, ref, ref_flushed, ratio in rows:
        print(f"   {name:34} {fmt(ours)} {fmt(ref)} {fmt(ref_flushed)}   {ratio}")
    ref_http = either("http")
    if g("HTTP download") and ref_http:
        rate, ref_rate = BIG_MIB * MIB / g("HTTP download") / 1e6, BIG_MIB * MIB / ref_http / 1e6
        print(f"   HTTP rate (download and MD5): update.exe {rate:.0f} MB/s, reference {ref_rate:.0f} MB/s,"
              f" ratio {ratio_text(g('HTTP download'), ref_http, GOAL_RATE, higher_is_better=True)}")
    if whole and g("ref"):
        print(f"   whole update against the reference without flushes: {whole / g('ref'):.2f};"
              f" the flushes cost the reference's update stage"
              f" {g('ref flushed stage') - g('ref stage'):.2f} s")
    if g("check") and g("ref shell check"):
        print(f"   check of the reference after asking the shell for the log banner's four folders:"
              f" {g('ref shell check'):.3f} s; update.exe {g('check'):.3f} s is"
              f" {g('check') / g('ref shell check'):.2f} times that")
    if g("pipeline"):
        print(f"   second reference, a shell pipeline (curl, md5sum, cp -r): {g('pipeline'):.2f} s")
    print(f"   not counted: the update stage's fixed wait of {int(STAGE_WAIT * 1000)} ms before its back-ups")
    if peak.get("256"):
        print(f"update e2e: peak memory of update.exe (VmHWM): nothing to update {peak['idle'] / 1024:.1f} MiB,"
              f" {BIG_MIB} MiB file + {TREE_FILES:,} files {peak['256'] / 1024:.1f} MiB"
              + (f", 1 GiB file {peak['1g'] / 1024:.1f} MiB" if peak.get("1g") else "")
              + f" (goal <= 32 MiB: {'ok' if max(peak.values()) <= 32 * 1024 else 'ABOVE GOAL'})")
    if shipped.exists():
        size = shipped.stat().st_size
        print(f"update e2e: shipped update.exe (32-bit release) {size / 1024:.0f} KiB"
              f" (goal <= 600 KiB: {'ok' if size <= 600 * 1024 else 'ABOVE GOAL'})")
    else:
        print("update e2e: no 32-bit update.exe built")
        status = 1
    return status


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--serve":
        serve(sys.argv[2], sys.argv[3])
    else:
        sys.exit(main())
