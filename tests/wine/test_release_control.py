"""Release control under Wine with the real programs: a staged roll-out takes
the same installations in as it grows and tells the others there is no new
version; a signed configuration past its expiry is refused; a publisher key
replaced through the designer's Build-Test tab and "/build" moves an
installation to the next key, after which only that key is accepted. A
package that uses none of it changes nothing in the local file."""
import hashlib
import shutil
import time
import zipfile

import winrig
from test_self_update import CONFIG, new_updater, serve_config
from test_signed_config import FAILURE, REFUSED, installed, openssl, run_fresh, sign, verified
from update_support import HIDE, SAMPLE_UI, crlf, ini, md5, payload

KEY = "spring"
ARCHIVE_PASSWORD = b"Cv7qR2xe"


def exclusion(percentage):
    return (f"The update is being rolled out to {percentage}% of installations; "
            "this one is not included yet.")


def bucket(install_id, key=KEY):
    return int(hashlib.md5(f"{install_id}:{key}".encode()).hexdigest()[:8], 16) % 100


def first_id(low, high):
    """An identifier whose bucket lies in [low, high)."""
    return next(f"{i:032x}" for i in range(10_000) if low <= bucket(f"{i:032x}") < high)


def local_text(folder):
    if (folder / "update.bin").exists():
        with zipfile.ZipFile(folder / "update.bin") as z:
            return z.read("update.dat", pwd=ARCHIVE_PASSWORD).decode()
    return (folder / "update.dat").read_text()


def system_value(folder, key):
    values = [l.split("=", 1)[1] for l in local_text(folder).splitlines() if l.startswith(key + "=")]
    return values[0] if values else None


def test_staged_rollout_keeps_its_share_as_it_grows(tmp_path, build_dir, http_server, run_updater):
    data = payload("rolled", 20_000)
    (http_server.root / "files").mkdir()
    (http_server.root / "files" / "app.dat").write_bytes(data)

    def serve(percentage):
        sections = {"system": {"rollout": percentage, "rollout_key": KEY},
                    "file0": dict(ver="1.1", urls=[http_server.url("files/app.dat")], md5=md5(data),
                                  path="{parent}", **HIDE),
                    "UI": {"noupdate_win": 1, "start_win": 0, "end_win1": 0, "end_win2": 0}}
        (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))

    ids = {"in30": first_id(0, 30), "in60": first_id(30, 60), "out": first_id(60, 100)}
    folders = {}
    for name in ("in30", "in30b", "in60", "out", "new"):
        folder = tmp_path / name / "updateApp"
        folder.mkdir(parents=True)
        shutil.copy2(build_dir / "update.exe", folder / "update.exe")
        shutil.copy2(SAMPLE_UI, folder / "ui.dat")
        system = {"closelog": 0, "urls": "url0=" + http_server.url("server.ini")}
        if name != "new":
            system["install_id"] = ids[name.rstrip("b")]
        text = crlf(ini({"system": system, "file0": {"ver": "1.0"}}))
        if name == "new":
            # The binary form: the identifier must go into the archive.
            with zipfile.ZipFile(folder / "update.bin", "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("update.dat", text)
        else:
            (folder / "update.dat").write_bytes(text)
        folders[name] = folder

    def run(name, check_only=False):
        args = "/OP:CheckVer /HWND:{hwnd} /log" if check_only else "/HWND:{hwnd} /log"
        return run_fresh(run_updater, folders[name], args=args)

    def assert_left_out(result, folder, percentage, before):
        assert result.results == [2], result.log()
        lines = result.log_lines()
        at = lines.index(exclusion(percentage))
        assert lines[at - 1] == "Version Comparison." and "No new version." in lines[at:], result.log()
        assert ("Information", "\nNo new version.\n") in result.boxes, result.record
        assert installed(folder.parent) == before

    # 30 %: the installation inside updates, the others are told there is no
    # new version, an explicit check included.
    serve(30)
    result = run("in30")
    assert result.results == [3, 1], result.log()
    assert (folders["in30"].parent / "app.dat").read_bytes() == data
    assert exclusion(30) not in result.log_lines()
    assert run("in30b", check_only=True).results == [3]
    for name, check_only in (("in60", False), ("out", True)):
        before = installed(folders[name].parent)
        assert_left_out(run(name, check_only), folders[name], 30, before)

    # An installation without an identifier gets one, once, kept in update.bin.
    first = run("new", check_only=True)
    made = system_value(folders["new"], "install_id")
    assert made and len(made) == 32 and int(made, 16) >= 0, first.log()
    assert first.results == ([3] if bucket(made) < 30 else [2]), first.log()
    assert f"install_id={made}" in first.log_lines()

    # 60 %: the first share stays in, the next one comes in, the rest waits.
    serve(60)
    assert run("in30b", check_only=True).results == [3]
    result = run("in60")
    assert result.results == [3, 1], result.log()
    assert (folders["in60"].parent / "app.dat").read_bytes() == data
    before = installed(folders["out"].parent)
    assert_left_out(run("out"), folders["out"], 60, before)
    again = run("new", check_only=True)
    assert system_value(folders["new"], "install_id") == made
    assert again.results == ([3] if bucket(made) < 60 else [2]), again.log()
    for name in ("in30", "in30b", "in60", "out"):
        assert system_value(folders[name], "install_id") == ids[name.rstrip("b")]


def test_self_update_with_a_new_local_file_keeps_the_identifier(install_dir, run_updater, http_server):
    url = serve_config(http_server, "2.0")
    install_id = first_id(0, 100)
    (install_dir / "update.dat").write_bytes(crlf(CONFIG.format(url=url, self_ver="1.0").replace(
        "closelog=0\n", f"closelog=0\ninstall_id={install_id}\n")))
    new_config = crlf(CONFIG.format(url=url, self_ver="2.0"))
    (install_dir / "update.dat.ubk").write_bytes(new_config)
    new_updater(install_dir, "update.exe")
    run = run_updater(install_dir, program="update.exe.exe", args="/HWND:{hwnd} /log /self_update:0-2.0,1-1.0",
                      answers=("until-result",), timeout=60)
    assert run.results == [2], run.record
    assert not (install_dir / "update.dat.ubk").exists()
    assert system_value(install_dir, "install_id") == install_id
    assert [l for l in local_text(install_dir).splitlines() if not l.startswith("install_id=")] == \
        new_config.decode().splitlines()


def project_text(port, data):
    return "\r\n".join([
        "[project]", "name=rel", "sign_config=1",
        "[system]", f"urls=url0=http://127.0.0.1:{port}/update.ini", "closelog=0",
        "[UI]", "start_win=0", "end_win1=0", "end_win2=0",
        "[file0]", f"urls=url0=http://127.0.0.1:{port}/files/app.dat", "path={parent}",
        "local_ver=1.0", "file_ver=1.1", f"md5={md5(data)}", "op_mode=1", "show_type=2",
    ]) + "\r\n"


def public_body(key, tmp_path):
    pub = tmp_path / (key.stem + ".pub.pem")
    pub.write_bytes(openssl("pkey", "-in", key, "-pubout"))
    return pub, "".join(pub.read_text().splitlines()[1:-1])


def test_signed_files_expire_and_the_publisher_key_is_replaced(tmp_path, wine, testhost, build_dir,
                                                                http_server, run_updater):
    data = payload("signed", 30_000)
    (http_server.root / "files").mkdir()
    (http_server.root / "files" / "app.dat").write_bytes(data)
    designer = tmp_path / "Corvane"
    (designer / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", designer / "Corvane.exe")
    shutil.copy2(build_dir / "update.exe", designer / "updateApp" / "update.exe")
    # The designer's own check at start-up finds nothing and says nothing.
    (designer / "updateApp" / "update.dat").write_text(
        f"[system]\r\nurls=url0=http://127.0.0.1:{http_server.port}/designer.ini\r\n")
    (http_server.root / "designer.ini").write_text("[UI]\r\nnoupdate_win=0\r\n")
    project = tmp_path / "rel" / "rel.epj"
    project.parent.mkdir()
    project.write_text(project_text(http_server.port, data))
    out = tmp_path / "package"
    current, nxt, old = (project.parent / f"rel_{n}private.pem" for n in ("", "next_", "old_"))

    def build():
        run = wine.run(designer / "Corvane.exe", ["/build", wine.winpath(project), "/out", wine.winpath(out)],
                       timeout=120)
        assert run.returncode == 0, run.stderr + run.stdout
        return {l.split("=", 1)[0]: l.split("=", 1)[1] for l in (out / "update.ini").read_text().splitlines()
                if "=" in l}

    def press(*steps):
        run = winrig.drive(wine, testhost, designer / "Corvane.exe",
                           ["tab 4", "sleep 300", *steps, "close", "nobox", "waitexit"],
                           args=[wine.winpath(project)])
        assert not run.errors, run.record
        return [b[1] for b in run.boxes()]

    def serve(text, sig):
        (http_server.root / "update.ini").write_bytes(text)
        (http_server.root / "update.ini.sig").write_bytes(sig)

    # A signed package without release control: no expiry, no next key, and
    # its runs write neither a key nor an identifier into the local file.
    values = build()
    assert not {"expires", "nextkey", "rollout", "rollout_key"} & values.keys()
    pub, body = public_body(current, tmp_path)
    assert verified(pub, out / "update.ini", out / "update.ini.sig")
    app = tmp_path / "app"
    updater = app / "updateApp"
    updater.mkdir(parents=True)
    for name in ("update.exe", "ui.bin", "update.dat"):
        shutil.copy2(out / name, updater / name)
    shipped = (updater / "update.dat").read_bytes()
    serve((out / "update.ini").read_bytes(), (out / "update.ini.sig").read_bytes())
    result = run_fresh(run_updater, updater, args="/OP:CheckVer /HWND:{hwnd} /log")
    assert result.results == [3], result.log()
    assert (updater / "update.dat").read_bytes() == shipped

    # Expired an hour ago, signed by the publisher's own key: refused, the
    # installation stays as it is.
    expires = int(time.time()) - 3600
    stale = (out / "update.ini").read_bytes().replace(
        f"serial={values['serial']}".encode(), f"serial={values['serial']}\r\nexpires={expires}".encode())
    (tmp_path / "stale.ini").write_bytes(stale)
    serve(stale, sign(current, tmp_path / "stale.ini"))
    before = installed(app)
    result = run_fresh(run_updater, updater)
    assert result.results == [-1], result.log()
    lines = result.log_lines()
    reason = "it expired at " + time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(expires))
    assert lines[lines.index(REFUSED + reason) + 1] == FAILURE, result.log()
    assert installed(app) == before

    # "Replace key" and a build valid for 7 days: signed by the current key,
    # announcing the next one.
    project.write_bytes(project.read_bytes().replace(b"sign_config=1\r\n", b"sign_config=1\r\nsign_valid_days=7\r\n"))
    boxes = press("click Replace key", "box ok")
    assert boxes and boxes[0].startswith("The next publisher key was made: "), boxes
    assert nxt.exists() and current.exists()
    started = int(time.time())
    values = build()
    next_pub, next_body = public_body(nxt, tmp_path)
    assert values["nextkey"] == next_body
    assert started + 7 * 86400 - 5 <= int(values["expires"]) <= int(time.time()) + 7 * 86400
    assert verified(pub, out / "update.ini", out / "update.ini.sig")
    assert not verified(next_pub, out / "update.ini", out / "update.ini.sig")
    announcing = (out / "update.ini").read_bytes(), (out / "update.ini.sig").read_bytes()
    serve(*announcing)
    result = run_fresh(run_updater, updater, args="/OP:CheckVer /HWND:{hwnd} /log")
    assert result.results == [3], result.log()
    assert "The publisher key was replaced." in result.log_lines()
    assert system_value(updater, "publickey") == next_body
    assert system_value(updater, "serial") == values["serial"]
    assert system_value(updater, "install_id") is None

    # From now on the old key is refused, even for the file that announced
    # the new one.
    before = installed(app)
    result = run_fresh(run_updater, updater)
    assert result.results == [-1], result.log()
    assert REFUSED + "its signature does not match the publisher's key." in result.log_lines()
    assert installed(app) == before

    # "Complete key replacement": the next key signs; the installation updates.
    keys = current.read_bytes(), nxt.read_bytes()
    boxes = press("click Complete key replacement", "box yes", "box ok")
    assert boxes[-1].startswith("The next key is now the publisher key: "), boxes
    assert (old.read_bytes(), current.read_bytes()) == keys and not nxt.exists()
    values = build()
    assert "nextkey" not in values
    assert verified(next_pub, out / "update.ini", out / "update.ini.sig")
    assert not verified(pub, out / "update.ini", out / "update.ini.sig")
    serve((out / "update.ini").read_bytes(), (out / "update.ini.sig").read_bytes())
    result = run_fresh(run_updater, updater)
    assert result.results == [3, 1], result.log()
    assert (app / "app.dat").read_bytes() == data
    assert "The publisher key was replaced." not in result.log_lines()
