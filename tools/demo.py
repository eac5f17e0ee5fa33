#!/usr/bin/python3
"""The demo: a sample application at version 1.0 next to update.exe, a local
HTTP server offering version 1.1, and the updater run against it. Shows the
result messages the host receives, the log, and the wizard (on the screen
when there is a display, else as screenshots under build/demo/)."""
import hashlib
import os
import shutil
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import winrig  # noqa: E402

BUILD = Path(os.environ.get("CORVANE_BUILD", REPO / "build"))
OUT = BUILD / "demo"


def prepare(server, port):
    """Lays out the sample installation and the server folder."""
    app = OUT / "SampleApp"
    shutil.rmtree(app, ignore_errors=True)
    updater = app / "updateApp"
    updater.mkdir(parents=True)
    _, arch = winrig.wine_loader()
    tree = BUILD / ("win" if arch == "win32" else "win64")
    shutil.copy2(tree / "update.exe", updater / "update.exe")
    shutil.copy2(REPO / "samples" / "demo" / "app" / "readme.txt", app / "readme.txt")
    text = (REPO / "samples" / "demo" / "app" / "update.dat").read_text()
    (updater / "update.dat").write_bytes(text.replace("{port}", str(port)).replace("\n", "\r\n").encode())
    ui = REPO / "samples" / "ui" / "ui.dat"
    if ui.exists():
        shutil.copy2(ui, updater / "ui.dat")

    shutil.copytree(REPO / "samples" / "demo" / "server", server.root, dirs_exist_ok=True)
    payload = (server.root / "files" / "readme.txt").read_bytes()
    config = (server.root / "update.ini").read_text()
    config = config.replace("{port}", str(port)).replace("{md5}", hashlib.md5(payload).hexdigest())
    (server.root / "update.ini").write_bytes(config.replace("\n", "\r\n").encode())
    return app, updater


def show_run(title, run):
    names = {999: "result", 998: "overall", 997: "file %", 996: "file bytes"}
    print(f"\n=== {title} ===")
    for offset, wparam, lparam in run.messages:
        print(f"  host received WM_USER+{offset} ({names.get(offset, '?')}): wParam={wparam} lParam={lparam}")
    for caption, text in run.boxes:
        print(f"  message box [{caption}]: {text.strip()}")
    if not run.messages and not run.boxes:
        print("  (no messages)")


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    display = os.environ.get("DISPLAY")
    rig = winrig.Wine(OUT / "wine", display=display)
    print("Starting Wine" + (f" on display {display}" if display else " on a private Xvfb display") + " ...")
    rig.start()
    server = winrig.HttpServer(OUT / "server")
    try:
        app, updater = prepare(server, server.port)
        testhost = BUILD / ("win" if rig.arch == "win32" else "win64") / "testhost.exe"
        print(f"Sample installation: {app}")
        print(f"Server: {server.url('update.ini')}")

        check = winrig.run_updater(rig, testhost, updater, args="/HWND:{hwnd} /OP:CheckVer /log")
        show_run("update.exe /OP:CheckVer (is there a new version?)", check)

        print("\n=== update.log of the check ===")
        print(check.log().replace("\r\n", "\n"))

        # The wizard the sample run shows: on the screen when there is one
        # (click through it), else each page as a screenshot.
        if display:
            print("\n=== the wizard (preview of the sample design): click through it ===")
            preview = winrig.run_updater(rig, testhost, updater, args="/OP:Preview /Tray",
                                         timeout=600)
            print("  preview closed" if preview.exited else "  preview timed out")
        else:
            shots = OUT / "screenshots"
            shutil.rmtree(shots, ignore_errors=True)
            print("\n=== the wizard (preview of the sample design) ===")
            subprocess.run(["bash", str(REPO / "tools" / "demo-preview.sh"), str(shots), str(BUILD),
                            str(updater / "ui.dat")], check=False)
            for png in sorted(shots.glob("*.png")):
                print(f"  {png}")
        print("\nNote: downloading and installing the new files (the download and update stages)"
              " are not built yet; the run above stops after the check.")
    finally:
        server.stop()
        rig.stop()


if __name__ == "__main__":
    main()
