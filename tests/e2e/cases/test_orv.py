"""The publisher's command `orv`: the installers it writes, read back by Windows itself
(FindResourceA, LoadResource, SizeofResource under Wine) and by `orv inspect`; the same
inputs giving the same bytes; refusals."""
import os
import subprocess
import time
import zlib

import harness as h
import pe

SCRIPT = ("95,98,NT,W2\t\t; platforms\r\nUnstOrv.exe,1,0,0,3\r\nKestrel Lane Software\r\nTester\r\n"
          "1.0\r\nhttp://example.invalid/\r\n.\r\n.\r\nOrv\\Tester\\\r\nTester\r\n"
          "readme.txt,Read me\r\n.\r\n.\r\n.\r\nreadme.txt,&Read me?,on\r\n.\r\n")
LICENCE = "Licence line one\r\nLicence line two\r\n"
BIG = 100 * 1024 * 1024  # the large DATA, made afresh by each run (some seconds; never stored)


def orv(*args, env=None, check=None):
    e = dict(os.environ)
    e.pop("SOURCE_DATE_EPOCH", None)
    e.update(env or {})
    r = subprocess.run([h.orv_tool()] + [os.fspath(a) for a in args], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, env=e, timeout=600)
    r.out = r.stdout.decode("latin-1")
    r.err = r.stderr.decode("latin-1")
    if check is not None:
        assert r.returncode == check, "orv %s: exit %d, expected %d\nstdout:\n%s\nstderr:\n%s" % (
            " ".join(map(str, args)), r.returncode, check, r.out, r.err)
    return r


def product_dir(case, name="product", payload=None, script=SCRIPT, licence=LICENCE):
    d = os.path.join(case.dir, name)
    os.makedirs(os.path.join(d, "payload"), exist_ok=True)
    if script is not None:
        with open(os.path.join(d, "SCRIPT"), "wb") as f:
            f.write(script.encode("cp1252"))
    if licence is not None:
        with open(os.path.join(d, "LICENCE"), "wb") as f:
            f.write(licence.encode("cp1252"))
    for rel, data in (payload or {"readme.txt": b"Read me.\r\n"}).items():
        p = os.path.join(d, "payload", *rel.split("/"))
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(data)
        os.utime(p, (h.PAYLOAD_TIME, h.PAYLOAD_TIME))
    return d


def kit(case):
    return ["--stub", case.need(h.win_file("install_stub.exe")),
            "--uninstaller", case.need(h.win_file("uninstall.exe"))]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def host_listing(path):
    """{(type, name): (size, crc)} as the host reads the installer ("#5" for numbers)."""
    out = {}
    for (t, n, _), data in pe.load(path).resources().items():
        key = (t if isinstance(t, str) else "#%d" % t, n if isinstance(n, str) else "#%d" % n)
        out[key] = (len(data), "%08X" % zlib.crc32(data))
    return out


def windows_listing(case, pfx, path, tag):
    reader = case.need(h.win_file("rsrcread.exe"))
    win = "C:\\rsrc\\%s.exe" % tag
    pfx.copy_in(path, win)
    rc = pfx.wine([reader, win, "C:\\rsrc\\%s.out" % tag])
    text = pfx.read("C:\\rsrc\\%s.out" % tag).decode("cp1252")
    lines = [l for l in text.split("\r\n") if l]
    assert rc == 0, "rsrcread %s: exit %r\n%s" % (tag, rc, text)
    assert lines[-1] == "lookup SCRIPT FILES found", text
    out = {}
    for l in lines[1:-1]:
        t, n, size, crc = l.split("\t")
        out[(t, n)] = (int(size), crc)
    return lines[0], out


def expect_same(case, pfx, path, tag):
    mode, win = windows_listing(case, pfx, path, tag)
    if h.arch() == "win32":
        assert mode == "mode image", "%s: the loader did not map it as an image (%s)" % (tag, mode)
    host = host_listing(path)
    assert win == host, "%s (%s): Windows read\n%s\nthe host read\n%s" % (tag, mode, sorted(win.items()),
                                                                         sorted(host.items()))
    return host


def with_section_after(data, name=b".extra", body=b"after the resources " * 30):
    """A copy of a PE image with one more section after its last one: its resources are
    then no longer the last section."""
    img = pe.Pe(data)
    opt = img.pe_offset + 24
    sec_align, file_align = int.from_bytes(data[opt + 32:opt + 36], "little"), int.from_bytes(data[opt + 36:opt + 40], "little")
    table = opt + img.optional_size + 40 * img.section_count
    first_raw = min(raw for _, _, _, raw, size in img.sections if size)
    if table + 40 > first_raw:
        # The headers fill their one file-alignment step: one more step for them, and every
        # section's data that much further on in the file.
        data = bytearray(data[:first_raw]) + bytes(file_align) + data[first_raw:]
        for i in range(img.section_count):
            at = opt + img.optional_size + 40 * i + 20
            raw = int.from_bytes(data[at:at + 4], "little")
            if raw:
                data[at:at + 4] = (raw + file_align).to_bytes(4, "little")
        headers = int.from_bytes(data[opt + 60:opt + 64], "little")
        data[opt + 60:opt + 64] = (headers + file_align).to_bytes(4, "little")
        img = pe.Pe(bytes(data))
    _, va, vsize, _, _ = img.sections[-1]
    new_va = (va + vsize + sec_align - 1) // sec_align * sec_align
    raw = (len(data) + file_align - 1) // file_align * file_align
    raw_size = (len(body) + file_align - 1) // file_align * file_align
    out = bytearray(data) + bytes(raw - len(data))
    out += body + bytes(raw_size - len(body))
    out[table:table + 40] = name.ljust(8, b"\0") + (len(body)).to_bytes(4, "little") + new_va.to_bytes(4, "little") + \
        raw_size.to_bytes(4, "little") + raw.to_bytes(4, "little") + bytes(12) + (0x40000040).to_bytes(4, "little")
    out[img.pe_offset + 6:img.pe_offset + 8] = (img.section_count + 1).to_bytes(2, "little")
    image_size = (new_va + len(body) + sec_align - 1) // sec_align * sec_align
    out[opt + 56:opt + 60] = image_size.to_bytes(4, "little")
    return bytes(out)


def resource_section(path):
    """(index of the section that holds the resource directory, number of sections)."""
    img = pe.load(path)
    rva = img.directories[2][0]
    return next(i for i, (_, va, size, _, _) in enumerate(img.sections) if va <= rva < va + size), len(img.sections)


@h.timeout(900)
def test_windows_reads_what_we_wrote(case):
    stub = case.need(h.win_file("install_stub.exe"))
    uninstaller = case.need(h.win_file("uninstall.exe"))
    pfx = case.prefix()
    installers = {"example": case.need(h.win_file("install.exe"))}

    # A product built and checked, then resources replaced by larger and by smaller ones
    # (its resources are now the last section: replaced in place).
    d = product_dir(case, payload={"readme.txt": b"Read me.\r\n", "bin/tool.exe": read(uninstaller)})
    built = os.path.join(case.dir, "built.exe")
    orv("build", d, "-o", built, *kit(case), check=0)
    installers["built"] = built
    blobs = {}
    for name, size in (("zero", 0), ("big", BIG), ("small", 100)):
        p = os.path.join(case.dir, name + ".bin")
        with open(p, "wb") as f:
            f.write(bytes((i * 7) & 0xFF for i in range(size)) if size < 1000 else os.urandom(size))
        blobs[name] = p
    # A stub whose resources are not its last section: a new last section takes them.
    not_last_stub = os.path.join(case.dir, "not-last-stub.exe")
    with open(not_last_stub, "wb") as f:
        f.write(with_section_after(read(stub)))
    steps = [("not-last", not_last_stub, ["DATA=" + blobs["small"], "SCRIPT=" + os.path.join(d, "SCRIPT")]),
             ("larger", built, ["DATA=" + blobs["big"], "LICENCE=" + blobs["small"]]),
             ("smaller", "larger", ["DATA=" + blobs["small"]]),
             ("zero-data", None, ["DATA=" + blobs["zero"], "SCRIPT=" + os.path.join(d, "SCRIPT")])]
    for tag, base, res in steps:
        out = os.path.join(case.dir, tag + ".exe")
        src = stub if base is None else installers.get(base, base)
        orv("resources", "--stub", src, "-o", out, *res, check=0)
        installers[tag] = out
    assert os.path.getsize(installers["smaller"]) < os.path.getsize(installers["larger"]) - BIG // 2

    stub_own = host_listing(stub)
    for tag, path in installers.items():
        listing = expect_same(case, pfx, path, tag)
        for key, value in stub_own.items():
            assert listing.get(key) == value, "%s: the stub's resource %s changed: %r, stub %r" % (
                tag, key, listing.get(key), value)
    # Which case each one was: the stub's resources last (replaced in place) or not (moved).
    where = {tag: resource_section(path) for tag, path in installers.items()}
    stub_at, stub_count = resource_section(stub)
    assert stub_at == stub_count - 1, "the stub's resources are not its last section: %r" % (where,)
    assert resource_section(not_last_stub) == (stub_at, stub_count + 1), resource_section(not_last_stub)
    assert where["not-last"] == (stub_count + 1, stub_count + 2), where
    assert where["built"] == where["larger"] == where["smaller"] == (stub_at, stub_count), where
    extra = pe.load(installers["not-last"]).sections[stub_count]
    assert extra[0] == ".extra" and read(installers["not-last"])[extra[3]:extra[3] + 600] == \
        read(not_last_stub)[extra[3]:extra[3] + 600], "the section after the old resources changed: %r" % (extra,)
    assert host_listing(installers["larger"])[("FILES", "DATA")][0] == BIG
    assert host_listing(installers["zero-data"])[("FILES", "DATA")][0] == 0
    assert host_listing(installers["smaller"])[("FILES", "DATA")][0] == 100


def pe_checksum(data):
    """The image checksum, computed here on its own: 16-bit words summed, the checksum field
    left out, the carries folded back, plus the length."""
    field = pe.Pe(data).pe_offset + 24 + 64
    total = 0
    for i in range(0, len(data), 2):
        if field <= i < field + 4:
            continue
        total += data[i] | (data[i + 1] << 8 if i + 1 < len(data) else 0)
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data), int.from_bytes(data[field:field + 4], "little")


def test_checksums_as_the_linker_computes_them(case):
    # The linker stamps the stub and the uninstaller; orv stamps the installers it writes.
    for name in ("install_stub.exe", "uninstall.exe", "install.exe"):
        computed, stored = pe_checksum(read(case.need(h.win_file(name))))
        assert computed == stored, "%s: checksum %#x stored, %#x computed" % (name, stored, computed)
        assert stored != 0, name


def test_example_carries_its_product(case):
    setup = pe.load(case.need(h.win_file("install.exe")))
    res = {n: v for (t, n, _), v in setup.resources().items() if t == "FILES"}
    src = os.path.join(h.source_dir(), "resources", "example")
    packed = os.path.join(h.build_dir(), "win64" if h.arch() == "win64" else "win", "example", "packed")
    want = {"SCRIPT": read(os.path.join(src, "SCRIPT")), "LICENCE": read(os.path.join(src, "LICENCE")),
            "FILELIST": read(os.path.join(packed, "FILELIST")), "DATA": read(os.path.join(packed, "DATA")),
            "UNINSTALL": read(h.win_file("uninstall.exe"))}
    want["CHECKSUM"] = b"%08X" % zlib.crc32(want["FILELIST"] + want["DATA"])
    assert sorted(res) == sorted(want), sorted(res)
    for name, data in want.items():
        assert res[name] == data, "%s: %d bytes carried, %d expected" % (name, len(res[name]), len(data))
    stub = pe.load(h.win_file("install_stub.exe")).resources()
    for key, data in stub.items():
        assert setup.resources().get(key) == data, "the stub's resource %r is not carried byte for byte" % (key,)


def test_inspect_round_trips_what_build_wrote(case):
    uninstaller = read(case.need(h.win_file("uninstall.exe")))
    payload = {"readme.txt": b"Read me.\r\n", "bin/tool.exe": uninstaller, "docs/a.txt": b"a" * 5000}
    d = product_dir(case, payload=payload)
    out = os.path.join(case.dir, "setup.exe")
    orv("build", d, "-o", out, *kit(case), check=0)
    r = orv("inspect", out, check=0)
    for number, line in enumerate(SCRIPT.split("\r\n")[:-1], 1):
        value = line.split(";")[0].rstrip("\t")
        assert any(l.split()[:1] == [str(number)] and l.endswith(value) for l in r.out.splitlines()), \
            "script line %d %r not shown:\n%s" % (number, value, r.out)
    for name, data in payload.items():
        wname = name.replace("/", "\\")
        assert any(l.split()[:2] == [wname, str(len(data))] for l in r.out.splitlines()), \
            "payload file %s (%d bytes) not shown:\n%s" % (wname, len(data), r.out)
    assert "item 14, program to run" in r.out, r.out
    stamp = time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(h.PAYLOAD_TIME))
    assert any(l.split()[:1] == ["readme.txt"] and l.endswith("time " + stamp) for l in r.out.splitlines()), \
        "readme.txt with time %s not shown:\n%s" % (stamp, r.out)
    assert any(l.split()[:1] == ["bin\\tool.exe"] and " version 1.0.0.3" in l for l in r.out.splitlines()), r.out
    assert "(matches)" in r.out and "CHECKSUM:" in r.out, r.out
    assert "LICENCE: %d bytes" % len(LICENCE) in r.out, r.out
    assert "UnstOrv.exe, version 1.0.0.3 in the script; %d bytes" % len(uninstaller) in r.out, r.out

    # Damaged: cut short; DATA changed after the checksum; not one of ours.
    data = read(out)
    cut = os.path.join(case.dir, "cut.exe")
    with open(cut, "wb") as f:
        f.write(data[:len(data) - 3000])
    r = orv("inspect", cut, check=1)
    assert "error:" in r.err and "beyond the end of the file" in r.err, r.err
    bad = os.path.join(case.dir, "bad.exe")
    other = os.path.join(case.dir, "other.data")
    with open(other, "wb") as f:
        f.write(pe.load(out).resource("FILES", "DATA")[:-1] + b"\x00")
    orv("resources", "--stub", out, "-o", bad, "DATA=" + other, check=0)
    r = orv("inspect", bad, check=1)
    assert "damaged: CHECKSUM" in r.err, r.err
    r = orv("inspect", h.win_file("uninstall.exe"), check=1)
    assert "not an installer made by orv" in r.err, r.err
    r = orv("inspect", os.path.join(d, "SCRIPT"), check=1)
    assert "not a PE file" in r.err, r.err


def test_same_inputs_same_bytes(case):
    d = product_dir(case, payload={"readme.txt": b"Read me.\r\n", "b.bin": bytes(range(256)) * 300})
    a, b, c = (os.path.join(case.dir, n) for n in ("a.exe", "b.exe", "c.exe"))
    orv("build", d, "-o", a, *kit(case), check=0)
    os.utime(os.path.join(d, "SCRIPT"))  # the product folder's own times play no part
    orv("build", d, "-o", b, "-q", *kit(case), check=0)
    assert read(a) == read(b), "two builds of the same product differ"
    orv("build", d, "-o", c, *kit(case), env={"SOURCE_DATE_EPOCH": "1700000000"}, check=0)
    img = pe.load(c)
    stamp = int.from_bytes(read(c)[img.pe_offset + 8:img.pe_offset + 12], "little")
    assert stamp == 1700000000, "time stamp: got %d" % stamp
    assert int.from_bytes(read(a)[img.pe_offset + 8:img.pe_offset + 12], "little") == 0


def test_build_refusals_write_nothing(case):
    cases = [
        ("no script", dict(script=None), [], "SCRIPT: error: missing"),
        ("no licence", dict(licence=None), [], "LICENCE: error: missing"),
        ("inside payload", {}, ["payload/setup.exe"], "inside the payload folder"),
    ]
    for label, kw, out, message in cases:
        d = product_dir(case, name=label.replace(" ", "-"), **kw)
        target = os.path.join(d, *(out[0].split("/"))) if out else os.path.join(case.dir, label + ".exe")
        r = orv("build", d, "-o", target, *kit(case), check=1)
        assert message in r.err, "%s: expected %r in\n%s" % (label, message, r.err)
        assert not os.path.exists(target), "%s: %s written" % (label, target)
        assert not [n for n in os.listdir(os.path.dirname(target)) if ".orv-" in n], label
    d = product_dir(case, name="fine")
    orv("check", d, check=0)
    orv("build", d, check=2)                      # no -o
    orv("frobnicate", check=2)
    orv("build", d, "-o", os.path.join(case.dir, "x.exe"), "--stub", os.path.join(d, "SCRIPT"),
        "--uninstaller", h.win_file("uninstall.exe"), check=1)
    for verb in ("build", "check", "inspect", "pack"):
        r = orv(verb, "--help", check=0)
        assert r.out.startswith("Usage: orv " + verb), r.out


def test_kit_works_from_another_directory(case):
    stub = case.need(h.shipped_file("install_stub.exe"))
    uninstaller = case.need(h.shipped_file("uninstall.exe"))
    prefix = os.path.join(case.dir, "kit")
    r = subprocess.run(["cmake", "--install", h.build_dir(), "--prefix", prefix], stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, timeout=300)
    assert r.returncode == 0, r.stdout.decode("latin-1")
    for rel in ("bin/orv", "bin/orv.exe", "share/orv/install_stub.exe", "share/orv/uninstall.exe", "share/orv/example/SCRIPT"):
        assert os.path.exists(os.path.join(prefix, rel)), "the kit lacks %s" % rel
    d = product_dir(case)
    elsewhere = os.path.join(case.dir, "elsewhere")
    os.makedirs(elsewhere)
    r = subprocess.run([os.path.join(prefix, "bin", "orv"), "build", d, "-o", "setup.exe"], cwd=elsewhere,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    assert r.returncode == 0, r.stderr.decode("latin-1")
    want = os.path.join(case.dir, "want.exe")
    orv("build", d, "-o", want, "--stub", stub, "--uninstaller", uninstaller, check=0)
    assert read(os.path.join(elsewhere, "setup.exe")) == read(want), "the kit's defaults give other bytes"
