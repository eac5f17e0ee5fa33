"""Signed server-side configuration and SHA-256 item digests under Wine: the
designer's "/build" signs with a key OpenSSL reads, the package's updater
accepts only what that key signed with a serial not older than the last one
it accepted (a signature made by `openssl dgst` included, over HTTP and FTP),
and an item whose SHA-256 is wrong fails like an MD5 mismatch. Every refusal
ends with -1 and leaves the installation byte for byte as it was."""
import hashlib
import shutil
import subprocess

from update_support import HIDE, RESULT_FAILED, crlf, ini, install, md5, payload, tree

FAILURE = ("Failed to download the configuration file, may be network configuration errors "
           "or unreasonable!")
REFUSED = "The server-side configuration file is refused: "


def installed(app):
    """The installation without the run's own log."""
    return {k: v for k, v in tree(app).items() if not k.endswith("update.log")}


def run_fresh(run_updater, folder, **kwargs):
    """One updater run whose update.log holds only its own lines."""
    (folder / "update.log").unlink(missing_ok=True)
    return run_updater(folder, **kwargs)


def openssl(*args, data=None):
    return subprocess.run(["openssl", *map(str, args)], input=data, capture_output=True, check=True).stdout


def sign(key, path):
    """`openssl dgst -sha256 -sign`: the signature a publisher could make by hand."""
    return openssl("dgst", "-sha256", "-sign", key, path)


def verified(pub, path, signature):
    run = subprocess.run(["openssl", "dgst", "-sha256", "-verify", str(pub), "-signature", str(signature),
                          str(path)], capture_output=True, text=True)
    return run.returncode == 0 and run.stdout.strip() == "Verified OK"


def project_text(port, files):
    lines = ["[project]", "name=signed", "sign_config=1",
             "[system]", f"urls=url0=http://127.0.0.1:{port}/update.ini", "closelog=0",
             "[UI]", "start_win=0", "end_win1=0", "end_win2=0"]
    for n, (name, data) in enumerate(files.items()):
        lines += [f"[file{n}]", f"urls=url0=http://127.0.0.1:{port}/files/{name}", "path={parent}",
                  "local_ver=1.0", "file_ver=1.1", f"md5={md5(data)}",
                  f"sha256={hashlib.sha256(data).hexdigest()}", "op_mode=1", "show_type=2"]
    return "\r\n".join(lines) + "\r\n"


def test_signed_package_updates_and_refuses_what_its_key_did_not_sign(
        tmp_path, wine, build_dir, http_server, ftp_server, run_updater):
    files = {"app.dat": payload("app", 50_000), "notes.txt": payload("notes", 3_000)}
    (http_server.root / "files").mkdir()
    for name, data in files.items():
        (http_server.root / "files" / name).write_bytes(data)
    designer = tmp_path / "Corvane"
    (designer / "updateApp").mkdir(parents=True)
    shutil.copy2(build_dir / "Corvane.exe", designer / "Corvane.exe")
    shutil.copy2(build_dir / "update.exe", designer / "updateApp" / "update.exe")
    project = tmp_path / "signed" / "signed.epj"
    project.parent.mkdir()
    project.write_text(project_text(http_server.port, files))
    out = tmp_path / "package"

    run = wine.run(designer / "Corvane.exe", ["/build", wine.winpath(project), "/out", wine.winpath(out)],
                   timeout=120)
    assert run.returncode == 0, run.stderr + run.stdout
    assert sorted(p.name for p in out.iterdir()) == ["ui.bin", "update.dat", "update.exe", "update.ini",
                                                    "update.ini.sig"]
    key = project.parent / "signed_private.pem"
    pub = tmp_path / "pub.pem"
    pub.write_bytes(openssl("pkey", "-in", key, "-pubout"))
    assert verified(pub, out / "update.ini", out / "update.ini.sig")
    local = (out / "update.dat").read_text()
    pub_body = "".join(pub.read_text().splitlines()[1:-1])
    assert f"publickey={pub_body}" in local.splitlines()
    serial = int(next(l for l in local.splitlines() if l.startswith("serial="))[7:])
    assert f"serial={serial}" in (out / "update.ini").read_text().splitlines()

    app = tmp_path / "app"
    updater = app / "updateApp"
    updater.mkdir(parents=True)
    for name in ("update.exe", "ui.bin", "update.dat"):
        shutil.copy2(out / name, updater / name)
    signed, signature = (out / "update.ini").read_bytes(), (out / "update.ini.sig").read_bytes()
    served, served_sig = http_server.root / "update.ini", http_server.root / "update.ini.sig"

    def serve(text, sig):
        served.write_bytes(text)
        served_sig.unlink(missing_ok=True)
        if sig is not None:
            served_sig.write_bytes(sig)

    # Refusals: the file changed by one byte, a signature by another key, no
    # signature at all. Nothing is downloaded, nothing changes.
    stranger = tmp_path / "stranger.pem"
    stranger.write_bytes(openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout"))
    tampered = signed.replace(b"ver=1.1", b"ver=1.2", 1)
    before = installed(app)
    for text, sig, reason in ((tampered, signature, "its signature does not match the publisher's key."),
                              (signed, sign(stranger, out / "update.ini"),
                               "its signature does not match the publisher's key."),
                              (signed, None, "its signature is missing.")):
        serve(text, sig)
        http_server.requests.clear()
        result = run_fresh(run_updater, updater)
        assert result.results == [-1], result.log()
        lines = result.log_lines()
        assert REFUSED + reason in lines, result.log()
        assert lines[lines.index(REFUSED + reason) + 1] == FAILURE
        assert not any("/files/" in r for r in http_server.requests)
        assert installed(app) == before

    # The package's own signed configuration updates; SHA-256 is checked too.
    serve(signed, signature)
    result = run_fresh(run_updater, updater)
    assert result.results[-1] == 1, result.log()
    lines = result.log_lines()
    assert f"The signature of the server-side configuration file is valid, serial {serial}." in lines
    assert lines.count("SHA-256 checksum success.") == 2
    for name, data in files.items():
        assert (app / name).read_bytes() == data

    # A newer configuration the publisher signed by hand with OpenSSL, served
    # over FTP (binary mode: the bytes must be the signed ones), is accepted
    # and raises the installation's serial.
    newer = signed.replace(f"serial={serial}".encode(), f"serial={serial + 1}".encode())
    (ftp_server.root / "update.ini").write_bytes(newer)
    (ftp_server.root / "update.ini.sig").write_bytes(sign(key, ftp_server.root / "update.ini"))
    local_file = updater / "update.dat"
    http_local = local_file.read_bytes()
    ftp_entry = ftp_server.url("update.ini") + ",," + ftp_server.USER + ",," + ftp_server.PASSWORD
    local_file.write_bytes(http_local.replace(http_server.url("update.ini").encode(), ftp_entry.encode()))
    result = run_fresh(run_updater, updater, args="/OP:CheckVer /HWND:{hwnd} /log")
    assert result.results == [2], result.log()
    assert f"The signature of the server-side configuration file is valid, serial {serial + 1}." in \
        result.log_lines()
    assert f"serial={serial + 1}" in local_file.read_text().splitlines()

    # The replayed older configuration, though properly signed, is refused.
    local_file.write_bytes(local_file.read_bytes().replace(ftp_entry.encode(),
                                                           http_server.url("update.ini").encode()))
    serve(signed, signature)
    before = installed(app)
    result = run_fresh(run_updater, updater)
    assert result.results == [-1], result.log()
    assert (REFUSED + f"its serial {serial} is older than the serial accepted before, {serial + 1}.") in \
        result.log_lines()
    assert installed(app) == before


def test_unsigned_update_checks_sha256_as_it_checks_md5(install_dir, run_updater, http_server):
    app = install_dir.parent
    data = {"a.bin": payload("a", 20_000), "b.bin": payload("b", 30_000)}
    (http_server.root / "files").mkdir()
    for name, content in data.items():
        (http_server.root / "files" / name).write_bytes(content)
    sha256sum = {name: subprocess.run(["sha256sum", str(http_server.root / "files" / name)], capture_output=True,
                                      text=True, check=True).stdout.split()[0] for name in data}
    install(install_dir, http_server.url("server.ini"), {"file0": "1.0", "file1": "1.0"})

    def serve(b_sha256):
        sections = {
            "file0": dict(ver="1.1", urls=[http_server.url("files/a.bin")], md5=md5(data["a.bin"]),
                          sha256=sha256sum["a.bin"].upper(), path="{parent}", **HIDE),
            "file1": dict(ver="1.1", urls=[http_server.url("files/b.bin")], md5=md5(data["b.bin"]),
                          sha256=b_sha256, path="{parent}", **HIDE),
        }
        (http_server.root / "server.ini").write_bytes(crlf(ini(sections)))

    # Right MD5, wrong SHA-256: the MD5-mismatch path with its own lines.
    wrong = sha256sum["a.bin"]
    serve(wrong)
    before = installed(app)
    result = run_fresh(run_updater, install_dir)
    assert result.results == [3, -1], result.log()
    lines = result.log_lines()
    at = lines.index("The Downloaded file's SHA-256 is " + sha256sum["b.bin"])
    assert lines[at - 1] == "MD5 checksum success."
    assert lines[at + 1] == "which is not equal to the original SHA-256: " + wrong
    assert RESULT_FAILED in lines
    assert installed(app) == before

    # The digests sha256sum gives pass; an installation without a public key
    # never asks for a signature.
    serve(sha256sum["b.bin"])
    result = run_fresh(run_updater, install_dir)
    assert result.results[-1] == 1, result.log()
    assert result.log_lines().count("SHA-256 checksum success.") == 2
    assert not any(r.endswith(".sig") for r in http_server.requests)
    for name, content in data.items():
        assert (app / name).read_bytes() == content
