"""The payload under Wine: expansion in memory, the file loop's rules, and our expander
beside the platform's LZCopy."""
import os
import struct
import subprocess
import time

import harness as h
import integration_flow as f

T = h.PAYLOAD_TIME
MAGIC = b"SZDD\x88\xf0\x27\x33"


def szdd(length, body):
    """A hand-made SZDD stream: the header stating length, then the LZSS body as given."""
    return MAGIC + b"A\x00" + struct.pack("<I", length) + bytes(body)


def target(name):
    return f.INSTALL_DIR + "\\" + name


def file_lines(pfx):
    """The file section's lines after the header and the script's own path."""
    lines = f.uninstall_lines(pfx)
    return lines[4:]


def filelist_entries(path):
    with open(path, "rb") as fh:
        text = fh.read().decode("cp1252")
    out = []
    for line in text.split("\r\n"):
        if not line:
            continue
        name, rest = line.split(",", 1)
        if "." in rest:
            size, halves = rest.split(".", 1)
            low, high = halves.split(",")[:2]
            out.append((name, int(size), None, (int(high, 16) << 32) | int(low, 16)))
        else:
            fields = [x for x in rest.split(",") if x]
            out.append((name, int(fields[0]), tuple(int(x) for x in fields[1:5]), None))
    return out


def unix_from_filetime(ft):
    return ft / 1e7 - 11644473600


def test_example_files_byte_for_byte_with_their_times(case):
    setup = case.need(h.win_file("install.exe"))
    filelist = case.need(h.win_file(os.path.join("example", "packed", "FILELIST")))
    payload_dir = h.win_file(os.path.join("example", "product", "payload"))
    pfx = case.prefix()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    entries = filelist_entries(filelist)
    assert entries, "empty file list"
    for name, size, version, ft in entries:
        with open(os.path.join(payload_dir, *name.split("\\")), "rb") as fh:
            want = fh.read()
        got = pfx.read(target(name))
        assert got == want, "%s: %d bytes installed, %d in the payload (sizes in the list: %d)" % (
            name, len(got), len(want), size)
        if ft is not None:
            assert pfx.mtime(target(name)) == unix_from_filetime(ft), "%s: time %r, expected %r" % (
                name, pfx.mtime(target(name)), unix_from_filetime(ft))
    assert file_lines(pfx)[:len(entries)] == [target(e[0]) for e in entries], file_lines(pfx)


def test_version_rules_higher_kept_equal_replaced(case):
    old = case.need(h.win_file("orvtest.sys"))      # FileVersion "1, 0, 0, 1"
    new = case.need(h.win_file("orvtest2.sys"))     # FileVersion "1, 0, 0, 2"
    setup = f.installer(case, f.script(), payload=dict(f.DEFAULT_PAYLOAD, **{"higher.sys": old, "equal.sys": old}))
    packed = open(os.path.join(case.dir, "setup.product", "out", "FILELIST"), "rb").read().decode("cp1252")
    assert "higher.sys," in packed and ",1,0,0,1\r\n" in packed, packed
    pfx = case.prefix()
    with open(old, "rb") as fh:
        old_bytes = fh.read()
    with open(new, "rb") as fh:
        new_bytes = fh.read()
    # An installed copy of higher version, and one of equal version but other bytes.
    pfx.write(target("higher.sys"), new_bytes, mtime=T + 5000)
    pfx.write(target("equal.sys"), old_bytes + b"installed copy", mtime=T + 5000)
    r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(target("higher.sys")) == new_bytes, "the higher version was replaced"
    assert pfx.mtime(target("higher.sys")) == T + 5000, "the kept file's time changed"
    assert pfx.read(target("equal.sys")) == old_bytes, "the equal version was not replaced"
    lines = file_lines(pfx)
    for name in ("higher.sys", "equal.sys"):
        assert target(name) in lines, "%s not recorded: %r" % (name, lines)


def test_time_rules_equal_kept_older_replaced(case):
    payload = {"same.txt": b"new same", "older.txt": b"new older", "newer.txt": b"new newer"}
    payload.update(f.DEFAULT_PAYLOAD)
    setup = f.installer(case, f.script(), payload=payload, order=["same.txt", "older.txt", "newer.txt"])
    pfx = case.prefix()
    pfx.write(target("same.txt"), b"installed same", mtime=T)
    pfx.write(target("older.txt"), b"installed older", mtime=T - 3600)
    pfx.write(target("newer.txt"), b"installed newer", mtime=T + 3600)
    r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(target("same.txt")) == b"installed same", "a file of equal time was replaced"
    assert pfx.read(target("older.txt")) == b"new older", "an older file was kept"
    assert pfx.mtime(target("older.txt")) == T, pfx.mtime(target("older.txt"))
    assert pfx.read(target("newer.txt")) == b"installed newer", "a newer file was replaced"
    assert pfx.mtime(target("newer.txt")) == T + 3600
    # Every entry is recorded in list order, whether written or kept, and later entries
    # still find their bytes after the kept ones.
    assert file_lines(pfx)[:5] == [target(n) for n in ("same.txt", "older.txt", "newer.txt", "cdroms.html",
                                                        "index.html")], file_lines(pfx)
    assert pfx.read(target("index.html")) == f.DEFAULT_PAYLOAD["index.html"]


def test_file_held_open_gives_could_not_create(case):
    payload = {"first.txt": b"first", "held.txt": b"new held"}
    payload.update(f.DEFAULT_PAYLOAD)
    setup = f.installer(case, f.script(), payload=payload, order=["first.txt", "held.txt"])
    holder = case.need(h.win_file("holdopen.exe"))
    pfx = case.prefix()
    host = pfx.write(target("held.txt"), b"in use", mtime=T - 3600)
    log = open(os.path.join(case.dir, "holdopen.out"), "wb")
    p = subprocess.Popen(h.wine_cmd() + [holder, target("held.txt")], env=pfx.env(), stdin=subprocess.DEVNULL,
                         stdout=log, stderr=log)
    try:
        deadline = time.time() + 300
        while not os.path.exists(host + ".held"):
            assert p.poll() is None, "holdopen ended with %r" % p.returncode
            assert time.time() < deadline, "holdopen did not take the file"
            time.sleep(0.2)
        r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.warning("Could not create an output file") +
                    "end\n")
    finally:
        open(host + ".release", "wb").close()
        p.wait(timeout=300)
        log.close()
    assert p.returncode == 0, "holdopen: %r" % p.returncode
    assert pfx.read(target("held.txt")) == b"in use"
    # first.txt was written and recorded, so the roll-back took it away again.
    assert not pfx.exists(target("first.txt")), pfx.tree(f.INSTALL_DIR)


def test_subdirectories_created_and_recorded_outermost_first(case):
    payload = {"top.txt": b"top", "docs\\img\\a.gif": b"GIF89a", "docs\\b.txt": b"b"}
    payload.update(f.DEFAULT_PAYLOAD)
    setup = f.installer(case, f.script(), payload=payload, order=["top.txt", "docs\\img\\a.gif", "docs\\b.txt"])
    pfx = case.prefix()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    assert pfx.read(target("docs\\img\\a.gif")) == b"GIF89a"
    assert pfx.read(target("docs\\b.txt")) == b"b"
    header, secs = f.sections(f.uninstall_lines(pfx))
    files = secs[0]
    assert files[1:4] == [target("top.txt"), target("docs\\img\\a.gif"), target("docs\\b.txt")], files
    # The directory list is newest first: docs\img (created second) before docs, both before
    # the installation directory, created earlier when the directory was chosen.
    dirs = [x for x in files if x in (target("docs"), target("docs\\img"), f.INSTALL_DIR)]
    assert dirs == [target("docs\\img"), target("docs"), f.INSTALL_DIR], files


def test_existing_directory_is_not_recorded(case):
    payload = {"docs\\img\\a.gif": b"GIF89a"}
    payload.update(f.DEFAULT_PAYLOAD)
    setup = f.installer(case, f.script(), payload=payload)
    pfx = case.prefix()
    os.makedirs(pfx.host(target("docs")))
    r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    files = f.sections(f.uninstall_lines(pfx))[1][0]
    assert target("docs\\img") in files, files
    assert target("docs") not in files, files


def test_file_list_error_stops_after_earlier_entries_recorded(case):
    # An uncompressed DATA (taken as it stands) and a list whose second line has no comma.
    filelist = b"first.txt,5.CE10DC00,01BE8E28\r\nno comma here\r\nthird.txt,5.CE10DC00,01BE8E28\r\n"
    setup = case.product(script=f.script(), licence=f.LICENCE,
                         resources={"FILELIST": filelist, "DATA": b"firstthird"}).build()
    pfx = case.prefix()
    # The roll-back is kept from starting, so that the script shows what was recorded.
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.internal_error(12) + "end\n", fault="ShellExecuteA:1+")
    assert pfx.read(target("first.txt")) == b"first"
    assert not pfx.exists(target("third.txt"))
    lines = f.uninstall_lines(pfx)
    assert lines[4] == target("first.txt"), lines
    assert target("third.txt") not in lines, lines


def test_sizes_other_than_the_payload_are_71_before_any_file(case):
    # The sizes add up to one byte more, then one byte less, than the payload's 10 bytes.
    for i, last in enumerate((6, 4)):
        filelist = b"first.txt,5.CE10DC00,01BE8E28\r\nsecond.txt,%d.CE10DC00,01BE8E28\r\n" % last
        setup = case.product(script=f.script(), licence=f.LICENCE,
                             resources={"FILELIST": filelist, "DATA": b"first12345"}).build("setup%d.exe" % i)
        pfx = case.prefix()
        pfx.run(setup, scenario=f.to_folder_dialog() + f.internal_error(71) + "end\n", fault="ShellExecuteA:1+")
        assert not pfx.exists(target("first.txt")), pfx.tree(f.INSTALL_DIR)
        assert target("first.txt") not in f.uninstall_lines(pfx), f.uninstall_lines(pfx)
        pfx.stop()


def test_stream_one_byte_short_or_long_is_46_before_any_file(case):
    product = case.product(script=f.script(), licence=f.LICENCE, payload=f.DEFAULT_PAYLOAD)
    data = open(os.path.join(product.pack("good"), "DATA"), "rb").read()
    stated = struct.unpack("<I", data[10:14])[0]
    # The stream states one byte more than it yields (short), or one byte less (long).
    for i, length in enumerate((stated + 1, stated - 1)):
        product.resources = {"DATA": data[:10] + struct.pack("<I", length) + data[14:]}
        setup = product.build("setup%d.exe" % i)
        pfx = case.prefix()
        pfx.run(setup, scenario=f.to_folder_dialog() + f.internal_error(46) + "end\n", fault="ShellExecuteA:1+")
        for name in f.DEFAULT_PAYLOAD:
            assert not pfx.exists(target(name)), pfx.tree(f.INSTALL_DIR)
        pfx.stop()


def test_no_temporary_file_at_any_point(case):
    setup = f.installer(case, f.script(), payload=dict(f.DEFAULT_PAYLOAD, **{"big.bin": os.urandom(300000)}))
    pfx = case.prefix()
    temp = pfx.temp_dir()
    before = pfx.tree(temp) if pfx.isdir(temp) else []
    # Were a temporary file asked for, the installation would fail at that point. The one
    # temporary name allowed is the uninstaller's deployment in the Windows directory, the
    # first request of the run.
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.accept_folder() + f.finish(),
                fault="GetTempPathA:1+,GetTempFileNameA:2+")
    assert r.exit_code == 0, r.exit_code
    after = pfx.tree(temp) if pfx.isdir(temp) else []
    assert after == before, "temporary directory changed: %r -> %r" % (before, after)
    assert pfx.exists(target("big.bin"))


def test_corrupt_data_is_46_and_rolled_back(case):
    product = case.product(script=f.script(), licence=f.LICENCE, payload=f.DEFAULT_PAYLOAD)
    packed = product.pack("good")
    data = open(os.path.join(packed, "DATA"), "rb").read()
    # The stream cut short of its stated length.
    product.resources = {"DATA": data[:len(data) - 20]}
    setup = product.build()
    pfx = case.prefix()
    r = pfx.run(setup, scenario=f.to_folder_dialog() + f.internal_error(46) + "end\n")
    assert not pfx.exists(f.INSTALL_DIR), pfx.tree("C:\\Program Files")


def test_data_of_length_zero_is_48(case):
    setup = case.product(script=f.script(), licence=f.LICENCE,
                         resources={"FILELIST": b"a.txt,0.CE10DC00,01BE8E28\r\n", "DATA": szdd(0, b"")}).build()
    pfx = case.prefix()
    pfx.run(setup, scenario=f.to_folder_dialog() + f.internal_error(48) + "end\n")
    assert not pfx.exists(f.INSTALL_DIR), pfx.tree("C:\\Program Files")


def tricky_streams():
    """Streams that exercise the corners of the format, by name."""
    s = {}
    s["initial-spaces"] = szdd(18, [0x00, 0x00, 0x0F])
    s["reference-4096-back"] = szdd(4, [0x02, 0xF0, 0xF0, ord("x")])
    s["overlapping-run"] = szdd(8, [0x03, ord("a"), ord("b"), 0xF0, 0xF3])
    s["spaces-then-own-output"] = szdd(6, [0x01, ord("q"), 0xEE, 0xF2])
    s["window-wrap"] = szdd(24, [0xFF] + list(b"ABCDEFGH") + [0xFF] + list(b"IJKLMNOP") + [0x07] + list(b"QRS") +
                            [0xFE, 0xF2])
    # 5000 literals, then references reaching back across the window's end to every distance.
    body = []
    lit = bytes((i * 37 + i // 256) & 0xFF for i in range(5000))
    for i in range(0, 5000, 8):
        chunk = lit[i:i + 8]
        body.append((1 << len(chunk)) - 1)
        body += list(chunk)
    refs = []
    k = 5000
    for d in (1, 2, 17, 255, 256, 4000, 4095, 4096):
        pos = (4080 + k - d) & 0xFFF
        refs.append((pos & 0xFF, ((pos >> 4) & 0xF0) | 15))
        k += 18
    body.append(0)
    for a, b in refs:
        body += [a, b]
    s["far-references"] = szdd(k, body)
    s["final-flag-byte-only"] = szdd(8, [0xFF] + list(b"abcdefgh") + [0x00])
    s["empty"] = szdd(0, b"")
    s["uncompressed"] = b"Plain DATA without the SZDD header.\r\n" * 20
    s["uncompressed-short-magic"] = MAGIC + b"A"
    return s


def test_our_expansion_equals_lzcopy(case):
    checker = case.need(h.win_file("lzcheck.exe"))
    streams = tricky_streams()
    # Streams of our compressor: beyond the window, long runs, random bytes.
    rnd = os.urandom(6000)
    product = case.product(payload={"text.txt": (b"the window and the payload " * 700)[:17000],
                                    "zeros.bin": bytes(70000), "spaces.txt": b" " * 9000,
                                    "random.bin": rnd + rnd[:3000] + rnd})
    packed = product.pack("ours")
    streams["ours-mixed"] = open(os.path.join(packed, "DATA"), "rb").read()
    example = case.need(h.win_file(os.path.join("example", "packed", "DATA")))
    streams["example-DATA"] = open(example, "rb").read()
    pfx = case.prefix()
    names = sorted(streams)
    for name in names:
        pfx.write("C:\\lz\\" + name, streams[name])
    pfx.write("C:\\lz\\list.txt", "".join("C:\\lz\\%s\r\n" % n for n in names))
    rc = pfx.wine([checker, "C:\\lz\\list.txt"])
    report = pfx.read("C:\\lz\\list.txt.out").decode("cp1252")
    rows = [line.split("\t") for line in report.split("\r\n") if line]
    assert [r[0] for r in rows] == ["C:\\lz\\" + n for n in names], report
    differ = [r for r in rows if r[3] != "same"]
    assert not differ, "streams that differ:\n%s" % report
    assert rc == 0, "lzcheck exit code %r:\n%s" % (rc, report)


def test_paths_beyond_259_characters_are_refused(case):
    # The installation directory "C:\Program Files\Orv\Lumivane\" has 30 characters.
    cases = [
        ("d" * 240 + "\\x.txt", "Could not create output file directory"),   # the level does not fit
        ("e" * 235, "Could not create an output file"),                       # only the file does not fit
    ]
    for i, (name, message) in enumerate(cases):
        filelist = ("first.txt,5.CE10DC00,01BE8E28\r\n%s,5.CE10DC00,01BE8E28\r\n" % name).encode("cp1252")
        setup = case.product(script=f.script(), licence=f.LICENCE,
                             resources={"FILELIST": filelist, "DATA": b"firstlong!"}).build("setup%d.exe" % i)
        pfx = case.prefix()
        pfx.run(setup, scenario=f.to_folder_dialog() + f.warning(message) + "end\n", fault="ShellExecuteA:1+")
        lines = f.uninstall_lines(pfx)
        assert lines[4] == target("first.txt"), lines
        assert not any(name[:50] in line for line in lines), lines
        pfx.stop()


def test_failed_write_leaves_no_partial_file(case):
    payload = {"first.txt": b"first", "second.txt": b"second" * 1000}
    setup = f.installer(case, f.script(), payload=payload, order=["first.txt", "second.txt"])
    pfx = case.prefix()
    # WriteFile calls of a run in a fresh prefix: 1 the uninstaller's deployment, 2 to 9 the
    # four header lines of the uninstall script (text, then CR LF), 10 first.txt, 11 and 12
    # its line in the script, 13 second.txt. The roll-back is kept from starting, so that what
    # is on disk is what the file loop left.
    pfx.run(setup, scenario=f.to_folder_dialog() + f.warning("Could not write to an output file") + "end\n",
            fault="WriteFile:13,ShellExecuteA:1+")
    assert pfx.read(target("first.txt")) == b"first"
    assert not pfx.exists(target("second.txt")), "the partly written file is still there"
    lines = f.uninstall_lines(pfx)
    assert lines[4] == target("first.txt") and target("second.txt") not in lines, lines


def test_files_around_the_expansion_buffers_border(case):
    # The payload is expanded through a buffer of 1 MB: files of 0, 1, border - 1, border and
    # border + 1 bytes, and a kept newer file in the middle whose bytes are expanded and
    # dropped, so that the files after it still get their own.
    border = 1024 * 1024
    rnd = os.urandom(70000)
    def body(n, tag):
        text = (tag.encode() + b" " + rnd) * (n // (len(rnd) + len(tag) + 1) + 1)
        return text[:n]
    sizes = [("empty.txt", 0), ("one.txt", 1), ("below.bin", border - 1), ("kept.txt", border + 5),
             ("at.bin", border), ("above.bin", border + 1), ("twice.bin", 2 * border + 3)]
    payload = {name: body(n, name) for name, n in sizes}
    order = [name for name, _ in sizes]
    payload.update(f.DEFAULT_PAYLOAD)
    setup = f.installer(case, f.script(), payload=payload, order=order)
    pfx = case.prefix()
    pfx.write(target("kept.txt"), b"installed newer", mtime=T + 3600 * 24 * 365 * 30)
    r = pfx.run(setup, scenario=f.to_folder_dialog_again() + f.accept_folder() + f.finish())
    assert r.exit_code == 0, r.exit_code
    for name in order:
        want = b"installed newer" if name == "kept.txt" else payload[name]
        got = pfx.read(target(name))
        assert got == want, "%s: %d bytes, expected %d" % (name, len(got), len(want))
    assert file_lines(pfx)[:len(order)] == [target(n) for n in order], file_lines(pfx)
