"""DLLs planted beside update.exe are never loaded.

Users and publishers write into the updater's folder. The loader resolves the
import table before WinMain runs and looks for any DLL that is not a KnownDLL
in the program's folder first, so update.exe may import only KnownDLLs (and
comctl32, which its manifest redirects); everything else is delay-loaded from
the system folder."""
import copy
import re
import shutil
import subprocess
from pathlib import Path

import pytest
import winrig

REPO = Path(__file__).resolve().parents[2]
SAMPLE_UI = REPO / "samples" / "ui" / "ui.dat"
DELAYLOAD_DEFS = REPO / "cmake" / "delayload"

# KnownDLLs of Windows 7 and 10 (always taken from the system folder), plus
# comctl32, which the manifest redirects to the side-by-side common controls.
ALLOWED_IMPORTS = {"kernel32", "ntdll", "user32", "gdi32", "shell32", "shlwapi", "ole32",
                   "oleaut32", "advapi32", "comdlg32", "imagehlp", "msvcrt", "imm32",
                   "setupapi", "psapi", "ws2_32", "comctl32"}
# Planted beside the updater. Wine prefers its builtin DLLs for these names;
# native first makes it take the first DLL of that name it finds, as Windows
# does. Only wininet can be checked this way: Wine's own user32 imports
# version.dll and zlib1.dll, the other names the updater uses (or once did)
# outside the list above, so forcing those native first would load a planted
# copy for Wine's sake whatever update.exe does. For them the import table
# check is the real one.
PLANTED = ("wininet.dll",)
NATIVE_FIRST = "mscoree,mshtml=;wininet=n,b"

SERVER_INI = """[file0]
ver=1.1
urls=url0=http://127.0.0.1:9/files/app.exe
describe=Main program
[UI]
start_win=0
"""

# DllMain leaves "<dll path>.loaded" beside the planted DLL; every export is
# the same do-nothing stub, enough for the loader to resolve an import table.
PLANTED_C = r"""
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 16];
    DWORD len = GetModuleFileNameA(module, path, MAX_PATH);
    lstrcpyA(path + len, ".loaded");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  return TRUE;
}

void* planted_stub(void) { return NULL; }
"""

# The control imports wininet the plain way, as update.exe once did, without
# calling anything.
CONTROL_C = r"""
#include <windows.h>
#include <wininet.h>

int main(void) {
  volatile FARPROC imported = (FARPROC)InternetGetConnectedState;
  (void)imported;
  return 0;
}
"""


def crlf(text):
    return text.replace("\n", "\r\n").encode()


def triplet(wine):
    return "x86_64-w64-mingw32" if wine.arch == "win64" else "i686-w64-mingw32"


def imports_of(exe, objdump):
    """{dll name as written: [function names]} of the program's import table."""
    dump = subprocess.run([objdump, "-p", str(exe)], capture_output=True, text=True,
                          check=True).stdout
    table, current = {}, None
    for line in dump.splitlines():
        if re.match(r"\S", line):  # the next part of the dump
            current = None
        name = re.match(r"\s*DLL Name: (\S+)", line)
        entry = re.match(r"\t[0-9a-f]+\t\s*\d+\s+(\S+)\s*$", line)
        if name:
            current = table.setdefault(name.group(1), [])
        elif current is not None and entry:
            current.append(entry.group(1))
    return table


def undecorated_exports(dll_name):
    """Names the programs call in `dll_name`, from the delay-load lists."""
    def_file = DELAYLOAD_DEFS / (dll_name[:-len(".dll")] + ".def")
    if not def_file.exists():
        return []
    names = []
    for line in def_file.read_text().splitlines():
        line = line.split(";")[0].strip()
        if line and line.split()[0] not in ("LIBRARY", "EXPORTS"):
            names.append(line.split("@")[0])
    return names


def build_planted_dlls(wine, folder, exe, objdump):
    """Planted DLLs exporting what `exe` imports from them by name (an older
    build does) and what the delay-load lists name."""
    source = folder / "planted.c"
    source.write_text(PLANTED_C)
    table = {dll.lower(): funcs for dll, funcs in imports_of(exe, objdump).items()}
    built = []
    for dll in PLANTED:
        names = sorted(set(table.get(dll, [])) | set(undecorated_exports(dll)))
        def_file = folder / (dll + ".def")
        def_file.write_text("LIBRARY " + dll + "\nEXPORTS\n" +
                            "".join(f"{name}=planted_stub\n" for name in names))
        out = folder / dll
        subprocess.run([triplet(wine) + "-gcc-posix", "-shared", "-static", "-O1", "-o", str(out),
                        str(source), str(def_file)], check=True, capture_output=True, timeout=120)
        built.append(out)
    return built


def markers(folder):
    """The planted DLLs that were loaded (the loader names them as asked)."""
    return sorted(p.name.lower() for p in Path(folder).glob("*.loaded"))


class Planted:
    def __init__(self, wine, dlls):
        self.dlls = dlls
        # A copy of the session's Wine whose programs prefer native DLLs.
        self.wine = copy.copy(wine)
        self.wine.env = dict(wine.env, WINEDLLOVERRIDES=NATIVE_FIRST)

    def plant(self, folder):
        for dll in self.dlls:
            shutil.copy2(dll, Path(folder) / dll.name)


@pytest.fixture(scope="module")
def planted(wine, build_dir, tmp_path_factory):
    """The planted DLLs, proven loadable: a program that imports them the
    plain way picks them up from its folder under this configuration, so
    their absence elsewhere means something."""
    work = tmp_path_factory.mktemp("planted")
    objdump = triplet(wine) + "-objdump"
    result = Planted(wine, build_planted_dlls(wine, work, build_dir / "update.exe", objdump))
    control_dir = work / "control"
    control_dir.mkdir()
    (work / "control.c").write_text(CONTROL_C)
    subprocess.run([triplet(wine) + "-gcc-posix", "-static", "-O1", "-o",
                    str(control_dir / "control.exe"), str(work / "control.c"), "-lwininet"],
                   check=True, capture_output=True, timeout=120)
    result.plant(control_dir)
    result.wine.run(control_dir / "control.exe", cwd=control_dir, timeout=60)
    assert markers(control_dir) == sorted(d.name + ".loaded" for d in result.dlls)
    return result


def test_update_exe_imports_only_known_dlls(build_dir):
    trees = {build_dir.parent / "win": "i686-w64-mingw32",
             build_dir.parent / "win64": "x86_64-w64-mingw32"}
    checked = 0
    for tree, prefix in trees.items():
        exe = tree / "update.exe"
        if tree != build_dir and not exe.exists():
            continue
        table = imports_of(exe, prefix + "-objdump")
        names = {dll.lower().removesuffix(".dll") for dll in table}
        assert "kernel32" in names, f"{exe}: no import table read"
        assert names <= ALLOWED_IMPORTS, f"{exe} imports {sorted(names - ALLOWED_IMPORTS)}"
        checked += 1
    assert checked >= 1


def test_updater_checking_over_http_ignores_planted_dlls(planted, build_dir, install_dir,
                                                         http_server):
    planted.plant(install_dir)
    (http_server.root / "server.ini").write_bytes(crlf(SERVER_INI))
    url = http_server.url("server.ini")
    shutil.copy2(SAMPLE_UI, install_dir / "ui.dat")
    (install_dir / "update.dat").write_bytes(crlf(
        "[system]\ncloselog=0\nurls=url0=" + url + "\n[file0]\nver=1.0\n"))
    run = winrig.run_updater(planted.wine, build_dir / "testhost.exe", install_dir,
                             args="/OP:CheckVer /HWND:{hwnd} /log", timeout=60)
    assert markers(install_dir) == []
    assert run.exited and run.boxes == []
    assert run.results == [3]
    assert "/server.ini" in http_server.requests
    assert "Download server-side configuration file: " + url in run.log_lines()


def test_delay_loads_come_from_the_system_folder_without_a_restricted_search(
        planted, probe, http_server, tmp_path):
    # The transfer probe links the same delay-loaded wininet but never
    # restricts the search order, as Windows without SetDefaultDllDirectories
    # cannot: the delay-load hook alone must keep the planted copy out.
    folder = tmp_path / "probe"
    folder.mkdir()
    shutil.copy2(probe("transfer_probe"), folder / "transfer_probe.exe")
    planted.plant(folder)
    payload = bytes(range(256)) * 64
    (http_server.root / "payload.bin").write_bytes(payload)
    target = folder / "payload.bin"
    run = planted.wine.run(folder / "transfer_probe.exe",
                           ["--no-host", "--quiet", "http", http_server.url("payload.bin"),
                            planted.wine.winpath(target)], cwd=folder, timeout=90)
    assert markers(folder) == []
    assert "RESULT 1" in run.stdout.splitlines(), run.stdout
    assert target.read_bytes() == payload
