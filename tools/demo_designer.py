#!/usr/bin/python3
"""The designer on the sample project samples/designer/sample/sample.epj:
started under Wine (on the screen when there is a display, else on a private
Xvfb display) and driven through its System, File and Directory pages, each
saved as a screenshot under build/demo-designer/."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "wine"))
import winrig  # noqa: E402

BUILD = Path(os.environ.get("CORVANE_BUILD", REPO / "build"))
OUT = BUILD / "demo-designer"


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    OUT.mkdir(parents=True)
    _, arch = winrig.wine_loader()
    tree = BUILD / ("win" if arch == "win32" else "win64")
    designer = OUT / "Corvane"
    designer.mkdir()
    shutil.copy2(tree / "Corvane.exe", designer / "Corvane.exe")
    project = OUT / "sample"
    shutil.copytree(REPO / "samples" / "designer" / "sample", project)

    display = os.environ.get("DISPLAY")
    rig = winrig.Wine(OUT / "wine", display=display)
    print("Starting Wine" + (f" on display {display}" if display else " on a private Xvfb display") + " ...")
    rig.start()
    try:
        pages = ["system", "file", "directory"]
        script = ["title"]
        for index, name in enumerate(pages):
            script += [f"tab {index}", "sleep 300", f"shot {rig.winpath(OUT / (name + '.bmp'))}"]
        script += ["close", "waitexit"]
        run = winrig.drive(rig, tree / "testhost.exe", designer / "Corvane.exe", script,
                           args=[rig.winpath(project / "sample.epj")])
        print(f"\n=== the designer on {project / 'sample.epj'} ===")
        for title in run.results("TITLE"):
            print(f"  window title: {title}")
        for name in pages:
            bmp = OUT / f"{name}.bmp"
            if bmp.exists():
                subprocess.run(["convert", str(bmp), str(bmp.with_suffix(".png"))], check=True)
                bmp.unlink()
                print(f"  {name} page: {bmp.with_suffix('.png')}")
        if run.errors:
            print("\n".join(run.errors))
            return 1
    finally:
        rig.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
