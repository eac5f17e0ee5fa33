#!/usr/bin/python3
"""The demo: Sample App 1.0 (samples/host/) installed with update.exe in its
"updateApp" folder, a local HTTP server offering Sample App 1.1 and new
release notes, and the whole update driven through the sample itself: its
"Check for updates" button is pressed, the updater's question is answered
Yes, the wizard downloads, closes Sample App, replaces it and starts the new
one, which reads 1.1. The package carries a patch from the installed 1.0
build to 1.1, so the updater downloads only that patch; the demo says how
many bytes it saved.

With a display ($DISPLAY) it all happens on the screen; otherwise on a
private Xvfb display, with screenshots of before, during and after under
build/demo/screenshots/. Either way the update log is printed."""
import hashlib
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import sample_support as sample  # noqa: E402
import winrig  # noqa: E402

BUILD = Path(os.environ.get("CORVANE_BUILD", REPO / "build"))
OUT = BUILD / "demo"
# The server hands SampleApp.exe out slowly, over about this many seconds,
# so that the progress in the wizard and in Sample App can be seen.
SLOW_SECONDS = 4.0


def slow_file(path):
    """An HTTP route that sends `path` in pieces spread over SLOW_SECONDS."""
    data = path.read_bytes()

    def handle(request):
        request.send_response(200)
        request.send_header("Content-Type", "application/octet-stream")
        request.send_header("Content-Length", str(len(data)))
        request.end_headers()
        if request.command != "GET":
            return
        pieces = 40
        step = max(1, len(data) // pieces)
        try:
            for at in range(0, len(data), step):
                request.wfile.write(data[at:at + step])
                request.wfile.flush()
                time.sleep(SLOW_SECONDS / pieces)
        except (BrokenPipeError, ConnectionResetError):
            pass  # a status check that reads only the head of the answer
    return handle


def md5(path):
    return hashlib.md5(Path(path).read_bytes()).hexdigest()


def wizard_title():
    for line in (REPO / "samples" / "ui" / "ui.dat").read_text().splitlines():
        if line.lower().startswith("title="):
            return line.split("=", 1)[1].strip()
    return "Corvane"


class Show:
    """Screenshots under Xvfb; on a real display the viewer watches instead."""

    def __init__(self, rig, on_screen):
        self.rig, self.on_screen = rig, on_screen
        self.folder = OUT / "screenshots"
        shutil.rmtree(self.folder, ignore_errors=True)
        self.folder.mkdir(parents=True)
        self.taken = []

    def shot(self, name):
        if self.on_screen:
            return
        png = self.rig.screenshot(self.folder / f"{name}.png")
        self.taken.append(png)

    def pause(self, seconds):
        if self.on_screen:
            time.sleep(seconds)


def describe(state):
    bars = {sample.FILE_BAR: "current file", sample.ALL_BAR: "all items"}
    parts = [f'"{state.texts.get(sample.STATUS, "")}"']
    for ident, name in bars.items():
        position, maximum = state.bars.get(ident, (0, 0))
        if maximum:
            parts.append(f"{name} {position}/{maximum}")
    if state.texts.get(sample.BYTES):
        parts.append(state.texts[sample.BYTES])
    return ", ".join(parts)


def build_package(rig, tree, server, updater):
    """The publisher's part, done by the designer: the sample project
    (samples/demo/project/sampleapp.epj, with this server's port and the
    served files' digests and the two SampleApp.exe builds filled in) is
    built with "Corvane.exe /build", and its package replaces the installed
    configuration, wizard design and updater and the served update.ini; its
    patches are served beside the files. Returns the patches' names."""
    designer = OUT / "Corvane"
    shutil.rmtree(designer, ignore_errors=True)
    (designer / "updateApp").mkdir(parents=True)
    shutil.copy2(tree / "Corvane.exe", designer / "Corvane.exe")
    shutil.copy2(tree / "update.exe", designer / "updateApp" / "update.exe")
    project = OUT / "project" / "sampleapp.epj"
    project.parent.mkdir(parents=True, exist_ok=True)
    text = (REPO / "samples" / "demo" / "project" / "sampleapp.epj").read_text()
    text = text.replace("{port}", str(server.port))
    for name in ("SampleApp.exe", "readme.txt"):
        text = text.replace("{md5:%s}" % name, md5(server.root / "files" / name))
    for version in ("1.0", "1.1"):
        text = text.replace("{file:SampleApp.exe %s}" % version, rig.winpath(sample.sample_exe(tree, version)))
    project.write_text(text)
    package = OUT / "package"
    shutil.rmtree(package, ignore_errors=True)
    print(f"\n=== Corvane.exe /build {project} /out {package} ===")
    run = rig.run(designer / "Corvane.exe", ["/build", rig.winpath(project), "/out", rig.winpath(package)],
                  timeout=120)
    print(run.stdout.replace("\r\n", "\n").rstrip())
    if run.returncode != 0:
        print(run.stderr)
        return None
    for name in ("update.dat", "ui.dat"):
        (updater / name).unlink(missing_ok=True)
    for name in ("update.dat", "ui.bin", "update.exe"):
        shutil.copy2(package / name, updater / name)
    shutil.copy2(package / "update.ini", server.root / "update.ini")
    patches = sorted(p.name for p in package.glob("*.vcdiff"))
    for name in patches:
        shutil.copy2(package / name, server.root / "files" / name)
    print("Installed the package's update.dat, ui.bin and update.exe; serving its update.ini"
          + "".join(" and files/" + name for name in patches))
    return patches


def run_demo(rig, server, tree, show):
    windows = sample.WindowProbe(rig, tree / "window_probe.exe")
    app = OUT / "SampleApp"
    updater = sample.install_sample(app, tree, server.port)
    sample.serve_sample(server.root, tree, server.port)
    patches = build_package(rig, tree, server, updater)
    if patches is None:
        print("The package build failed.")
        return False
    for name in ["SampleApp.exe"] + patches:
        server.route("/files/" + name, slow_file(server.root / "files" / name))
    installed_before = md5(app / "SampleApp.exe")
    print(f"Installed: {app}/SampleApp.exe (1.0, md5 {installed_before}), readme.txt,")
    print("           updateApp/update.exe, updateApp/update.dat, updateApp/ui.bin (the designer's package)")
    print(f"Server:    {server.url('update.ini')} offers Sample App 1.1 and new release notes")

    print("\n=== before ===")
    rig.popen(app / "SampleApp.exe", cwd=app, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    before = windows.state("Sample App", wait_ms=30000)
    if before is None:
        print("Sample App did not start.")
        return False
    print(f'Sample App shows "{before.texts.get(sample.VERSION)}" (window title "{before.title}")')
    show.shot("1-before")
    show.pause(2)

    print('\n=== pressing "Check for updates" ===')
    windows.click(before.title, sample.CHECK)
    question = windows.answer("Information", "yes", 60000)
    if question is None:
        print("The updater asked nothing (see the log below).")
    else:
        print(f'The updater asks: "{question}"  -> Yes')

    print("\n=== during ===")
    wizard = wizard_title()
    seen = []
    shots = 0
    deadline = time.monotonic() + 120
    after = None
    while time.monotonic() < deadline:
        host = windows.state("Sample App 1.0")
        if host:
            text = describe(host)
            if not seen or seen[-1] != text:
                seen.append(text)
                print(f"  Sample App 1.0: {text}")
        if shots < 3 and windows.state(wizard):
            shots += 1
            show.shot(f"2-during-{shots}")
        after = windows.state("Sample App 1.1")
        if after:
            break
        # The button comes back when update.exe has ended while Sample App
        # 1.0 still runs: the update did not take place.
        if host and host.enabled.get(sample.CHECK):
            break
        if host is None and windows.state("Sample App") is None:
            after = windows.state("Sample App 1.1", wait_ms=10000)
            break
        time.sleep(0.2)

    print("\n=== after ===")
    ok = after is not None
    if ok:
        print(f'Sample App shows "{after.texts.get(sample.VERSION)}" (window title "{after.title}"):'
              " the updater closed 1.0, replaced it and started the new program")
        windows.gone(wizard, 10000)
        time.sleep(0.5)
        show.shot("3-after")
    else:
        print("Sample App 1.1 did not appear: the update did not complete.")
        show.shot("3-after")
    now = md5(app / "SampleApp.exe")
    served = md5(server.root / "files" / "SampleApp.exe")
    print(f"SampleApp.exe: md5 {now} ({'the 1.1 build' if now == served else 'unchanged' if now == installed_before else 'neither build!'})")
    print("readme.txt:    " + (app / "readme.txt").read_text(errors="replace").splitlines()[0])
    whole = (server.root / "files" / "SampleApp.exe").stat().st_size
    fetched = [r for r in server.requests if r.startswith("/files/SampleApp.exe")]
    if fetched and all(r.endswith(".vcdiff") for r in fetched):
        patch = (server.root / fetched[-1].lstrip("/")).stat().st_size
        print(f"Download:      SampleApp.exe came as a patch of {patch:,} bytes instead of the whole "
              f"{whole:,}: {whole - patch:,} bytes ({100 * (whole - patch) / whole:.1f} %) saved")
    else:
        print(f"Download:      SampleApp.exe came whole ({whole:,} bytes): " + ", ".join(fetched))
    local = (updater / "update.dat").read_text(errors="replace")
    print("update.dat:    " + ", ".join(l.strip() for l in local.splitlines() if l.startswith("ver=")))
    leftovers = list(app.rglob("*.ebk"))
    if leftovers:
        print("left-over back-ups: " + ", ".join(str(p) for p in leftovers))

    print("\n=== update.log ===")
    log = updater / "update.log"
    print(log.read_text(errors="replace").replace("\r\n", "\n") if log.exists() else "(none)")

    if show.taken:
        print("=== screenshots ===")
        for png in show.taken:
            print(f"  {png}")
    if show.on_screen and ok:
        print("\nClose Sample App 1.1 to end the demo (it ends by itself after 5 minutes).")
        windows.gone("Sample App", 300000)
    return ok


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    display = os.environ.get("DISPLAY")
    rig = winrig.Wine(OUT / "wine", display=display)
    print("Starting Wine" + (f" on display {display}" if display else " on a private Xvfb display")
          + " ...")
    rig.start()
    server = winrig.HttpServer(OUT / "server")
    try:
        tree = BUILD / ("win" if rig.arch == "win32" else "win64")
        ok = run_demo(rig, server, tree, Show(rig, bool(display)))
    finally:
        server.stop()
        rig.stop()
    print("\nDemo " + ("finished: Sample App was updated from 1.0 to 1.1." if ok else "FAILED."))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
