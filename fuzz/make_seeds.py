#!/usr/bin/env python3
"""Makes the fuzz targets' seed inputs under fuzz/seeds/<target>/ (the three engine
targets share fuzz/seeds/archives/).

Archive seeds come from the peer archives beside the checkout (shared/testdata/peers)
and from small archives made here by the producers the tests use (Python's zipfile,
7-Zip, bsdtar, jar), each feature in an archive of its own so that the fuzzers start
from short inputs: every method, directories, data descriptors, Zip64 records, comments,
Unicode names, names that try to leave the target. The decoder seeds are the raw
compressed data of the entries of those archives; the text seeds are written out here.

Run it again after adding a case; existing seeds are replaced.
Usage: fuzz/make_seeds.py [PEERS_DIRECTORY]
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "seeds")
PEERS = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "..", "shared", "testdata", "peers")
LARGEST_ARCHIVE = 32768  # bigger archives slow every mutation down
LARGEST_STREAM = 16384   # decoder seeds are cut to this length

TEXT = b"The quick brown fox jumps over the lazy dog.\r\n" * 20
BINARY = bytes((i * 7 + (i >> 3)) & 0xFF for i in range(3000))


def zip_bytes(entries, compression=zipfile.ZIP_DEFLATED, comment=b"", zip64=False, stream=False):
    """entries: (name, data) pairs; a name ending in '/' is a directory."""
    raw = io.BytesIO()

    class Unseekable(io.RawIOBase):
        def writable(self):
            return True

        def write(self, b):
            return raw.write(b)

    target = Unseekable() if stream else raw
    with zipfile.ZipFile(target, "w", compression) as z:
        z.comment = comment
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 17, 13, 45, 30))
            info.compress_type = compression
            info.create_system = 3
            info.external_attr = (0o40755 << 16 | 0x10) if name.endswith("/") else (0o100644 << 16)
            if zip64:
                with z.open(info, "w", force_zip64=True) as f:
                    f.write(data)
            else:
                z.writestr(info, data)
    return raw.getvalue()


def made_archives():
    archives = {
        "stored.zip": zip_bytes([("a.txt", TEXT), ("b.bin", BINARY)], zipfile.ZIP_STORED),
        "deflated.zip": zip_bytes([("a.txt", TEXT), ("b.bin", BINARY)]),
        "empty.zip": zip_bytes([]),
        "empty_entry.zip": zip_bytes([("empty", b"")]),
        "dirs.zip": zip_bytes([("Disk1/", b""), ("Disk1/stage/", b""), ("Disk1/stage/x.txt", TEXT), ("sfx.ini", b"[autorun]\r\nCMD=java -jar i.jar\r\n")]),
        "bzip2.zip": zip_bytes([("a.txt", TEXT)], zipfile.ZIP_BZIP2),
        "lzma.zip": zip_bytes([("a.txt", TEXT)], zipfile.ZIP_LZMA),
        "descriptor.zip": zip_bytes([("a.txt", TEXT), ("b.bin", BINARY)], stream=True),
        "zip64.zip": zip_bytes([("a.txt", TEXT)], zip64=True),
        "comment.zip": zip_bytes([("a.txt", b"x")], comment=b"an archive comment\r\n" * 3),
        "utf8.zip": zip_bytes([("d\u00e9j\u00e0/\u65e5\u672c.txt", TEXT[:100])]),
        "traversal.zip": zip_bytes([("../up.txt", b"1"), ("..\\back.txt", b"2"), ("/abs.txt", b"3"),
                                    ("C:/drive.txt", b"4"), ("a/../../b.txt", b"5"), ("./././c.txt", b"6"),
                                    ("d/" * 40 + "deep.txt", b"7"), ("n" * 300, b"8")]),
    }
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "src")
        os.makedirs(os.path.join(source, "dir", "sub"))
        with open(os.path.join(source, "dir", "a.txt"), "wb") as f:
            f.write(TEXT)
        with open(os.path.join(source, "dir", "sub", "b.bin"), "wb") as f:
            f.write(BINARY)
        # Fixed times, so that the producers make the same archives on every run.
        for folder, _, files in os.walk(source, topdown=False):
            for name in files + [""]:
                os.utime(os.path.join(folder, name), (1715953530, 1715953530))
        producers = {
            "7z_deflate64.zip": ["7zz", "a", "-tzip", "-mm=Deflate64", "-mx9"],
            "7z_deflate.zip": ["7zz", "a", "-tzip", "-mm=Deflate", "-mx9"],
            "7z_stored.zip": ["7zz", "a", "-tzip", "-mm=Copy"],
            "bsdtar.zip": ["bsdtar", "--format", "zip", "-cf"],
            "jar.jar": ["jar", "--create", "--date=2024-05-17T13:45:30Z", "--file"],
        }
        for name, command in producers.items():
            if shutil.which(command[0]) is None:
                continue
            out = os.path.join(work, name)
            subprocess.run(command + [out, "dir"], cwd=source, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(out, "rb") as f:
                archives[name] = f.read()
    return archives


def records(archive):
    """Offsets of every record signature in an archive, in file order."""
    found = []
    for signature in (b"PK\x03\x04", b"PK\x01\x02", b"PK\x05\x06", b"PK\x06\x06", b"PK\x06\x07", b"PK\x07\x08"):
        at = archive.find(signature)
        while at >= 0:
            found.append(at)
            at = archive.find(signature, at + 1)
    return sorted(found)


def central_headers(archive):
    at = archive.find(b"PK\x01\x02")
    while at >= 0:
        yield at
        at = archive.find(b"PK\x01\x02", at + 1)


def patched(archive, changes):
    """changes: (offset, struct format, value) triples."""
    b = bytearray(archive)
    for offset, form, value in changes:
        struct.pack_into(form, b, offset, value)
    return bytes(b)


def with_host(archive, system):
    """Every central header marked as made on `system` (0 MS-DOS, 3 Unix, 11 NTFS)."""
    return patched(archive, [(c + 5, "<B", system) for c in central_headers(archive)])


def hostile_archives():
    """Archives that try what a hostile archive tries: leaving the target, claiming
    more than they hold, pointing into the wrong places, ending at every boundary."""
    out = {}
    base = zip_bytes([("Disk1/", b""), ("Disk1/a.txt", TEXT), ("b.bin", BINARY)])
    end = base.rfind(b"PK\x05\x06")
    directory = struct.unpack_from("<I", base, end + 16)[0]
    first = next(central_headers(base))

    # Cut at every record boundary and just after each signature.
    for at in records(base):
        out["hostile_cut_at_%05d.zip" % at] = base[:at]
        out["hostile_cut_after_%05d.zip" % at] = base[:at + 4]
    # Local offsets into the central directory, onto the end record, past the end, and
    # the Zip64 marker without a Zip64 block.
    for label, offset in (("into_directory", directory), ("onto_end", end), ("past_end", len(base) + 4096),
                          ("zip64_marker", 0xFFFFFFFF)):
        out["hostile_offset_%s.zip" % label] = patched(base, [(first + 42, "<I", offset)])
    # Sizes far beyond the data, in the central header and in both headers.
    for label, size in (("4g", 0xFFFFFFFE), ("2g", 0x7FFFFFFF)):
        big = patched(base, [(c + 24, "<I", size) for c in central_headers(base)])
        out["hostile_claims_%s_central.zip" % label] = big
        changes = []
        at = big.find(b"PK\x03\x04")
        while at >= 0:
            changes.append((at + 22, "<I", size))
            at = big.find(b"PK\x03\x04", at + 1)
        out["hostile_claims_%s_both.zip" % label] = patched(big, changes)
    stored = zip_bytes([("s.bin", BINARY)], zipfile.ZIP_STORED)
    out["hostile_stored_claims_4g.zip"] = patched(stored, [(c + 24, "<I", 0xFFFFFFFE) for c in central_headers(stored)]
                                                  + [(c + 20, "<I", 0xFFFFFFFE) for c in central_headers(stored)])
    # Zip64 sizes of 2^63 in the Zip64 block.
    zip64 = zip_bytes([("a.txt", TEXT)], zip64=True)
    block = zip64.find(b"\x01\x00\x10\x00")
    if block >= 0:
        out["hostile_zip64_claims_2e63.zip"] = patched(zip64, [(block + 4, "<Q", 1 << 63), (block + 12, "<Q", 1 << 63)])
    # Counts and directory places that lie.
    out["hostile_count_65535.zip"] = patched(base, [(end + 8, "<H", 0xFFFF), (end + 10, "<H", 0xFFFF)])
    out["hostile_directory_at_end_record.zip"] = patched(base, [(end + 16, "<I", end)])
    out["hostile_directory_size_huge.zip"] = patched(base, [(end + 12, "<I", 0x7FFFFFFF)])
    # Many central entries sharing one local header.
    one = zip_bytes([("x", b"shared data " * 10)])
    c = one.find(b"PK\x01\x02")
    e = one.rfind(b"PK\x05\x06")
    many = 400
    body = one[:c] + one[c:e] * many
    out["hostile_shared_data.zip"] = body + struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, many, many, (e - c) * many, c, 0)
    # Names that leave the target in every spelling, as Unix, MS-DOS and NTFS entries.
    names = ["../up.txt", "..\\up.txt", "/abs.txt", "\\abs.txt", "//server/share/x.txt", "C:/drive.txt",
             "C:\\drive.txt", "C:drive.txt", "a/../../up.txt", "a\\..\\..\\up.txt", ".. /up.txt", "... /up.txt",
             ". ./up.txt", "x/. ./up.txt", "../", "..", ".", "./../up.txt", "a/..", "%2e%2e/up.txt",
             "\xe2\x80\xa4\xe2\x80\xa4/up.txt", "up.txt/../../..", "a/" * 120 + "deep.txt", "d" * 1000]
    traversal = zip_bytes([(n, n.encode("utf-8", "surrogateescape")) for n in names])
    for system in (0, 3, 11):
        out["hostile_names_host%d.zip" % system] = with_host(traversal, system)
    # Deep nesting of directory entries.
    deep = [("n/" * k, b"") for k in range(1, 130)]
    out["hostile_deep_directories.zip"] = zip_bytes(deep + [("n/" * 129 + "leaf.txt", b"leaf")])
    return out


class BitWriter:
    """Bits least significant first, as deflate reads them; prefix codes most
    significant bit first."""

    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, value, count):
        self.value |= value << self.count
        self.count += count

    def code(self, code, length):
        for i in reversed(range(length)):
            self.put((code >> i) & 1, 1)

    def bytes(self):
        return self.value.to_bytes((self.count + 7) // 8, "little")


def deflate_rule_cases():
    """Streams on which our inflate and zlib's differ by rule (see fuzz/inflate.cpp), so
    that the replay shows the target's allowances hold and fuzzing starts near them."""
    cases = {}
    # A fixed block: "a" and the end of block, 18 bits. Without its last byte the end
    # code's missing bits read as zeros: ours decodes it, zlib asks for more input.
    w = BitWriter()
    w.put(1, 1)
    w.put(1, 2)
    w.code(0x30 + ord("a"), 8)
    w.code(0, 7)
    cases["fixed_a"] = w.bytes()
    cases["fixed_a_end_of_input"] = w.bytes()[:2]
    # A dynamic block declaring one length code (HLIT 258) and one distance code of
    # length 0: zlib decodes its literals, ours refuses it with "(incomplete d-tree)".
    w = BitWriter()
    w.put(1, 1)
    w.put(2, 2)
    w.put(258 - 257, 5)
    w.put(1 - 1, 5)
    w.put(19 - 4, 4)
    order = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]
    length_lengths = {18: 2, 0: 2, 2: 2, 1: 2}  # codes 00 (0), 01 (1), 10 (2), 11 (18)
    for symbol in order:
        w.put(length_lengths.get(symbol, 0), 3)
    lengths_code = {0: 0b00, 1: 0b01, 2: 0b10, 18: 0b11}

    def zeros(n):
        while n > 0:
            run = min(n, 138)
            w.code(lengths_code[18], 2)
            w.put(run - 11, 7)
            n -= run

    zeros(65)
    w.code(lengths_code[2], 2)   # "A": 2 bits
    zeros(256 - 66)
    w.code(lengths_code[2], 2)   # end of block: 2 bits
    w.code(lengths_code[1], 2)   # length code 257: 1 bit
    w.code(lengths_code[0], 2)   # the distance code: unused
    for _ in range(2):
        w.code(0b10, 2)          # "A"
    w.code(0b11, 2)              # end of block
    cases["dynamic_no_distance_codes"] = w.bytes()

    # Dynamic blocks whose code lengths are sent one by one with a code-length code of
    # sixteen 4-bit codes (symbols 0 to 15), optionally opened by a repeat code 16.
    def canonical(lengths):
        codes, code = {}, 0
        for length in range(1, 16):
            for symbol in sorted(s for s, l in lengths.items() if l == length):
                codes[symbol] = (code, length)
                code += 1
            code <<= 1
        return codes

    def dynamic(literals, literal_count, distances, distance_count, items, leading_repeat=False):
        w = BitWriter()
        w.put(1, 1)
        w.put(2, 2)
        w.put(literal_count - 257, 5)
        w.put(distance_count - 1, 5)
        w.put(19 - 4, 4)
        length_lengths = {symbol: 4 for symbol in range(16)}
        if leading_repeat:  # 16 takes the place of 15, which no length uses here
            del length_lengths[15]
            length_lengths[16] = 4
        for symbol in order:
            w.put(length_lengths.get(symbol, 0), 3)
        length_codes = canonical(length_lengths)
        sequence = [literals.get(i, 0) for i in range(literal_count)] + \
                   [distances.get(i, 0) for i in range(distance_count)]
        if leading_repeat:  # three zeros as "repeat the previous length (none yet)"
            assert sequence[:3] == [0, 0, 0]
            w.code(*length_codes[16])
            w.put(0, 2)
            sequence = sequence[3:]
        for length in sequence:
            w.code(*length_codes[length])
        literal_codes, distance_codes = canonical(literals), canonical(distances)
        for kind, symbol in items:
            w.code(*(literal_codes if kind == "l" else distance_codes)[symbol])
        return w.bytes()

    # "A", then a match of length 3 at distance 1, then the end: "AAAA".
    match_items = [("l", 65), ("l", 257), ("d", 0), ("l", 256)]
    complete = {65: 1, 256: 2, 257: 2}
    # An incomplete distance code (one code of two bits): zlib refuses the set.
    cases["dynamic_incomplete_distances"] = dynamic(complete, 258, {0: 2}, 1, match_items)
    # 288 literal/length and 32 distance codes declared: zlib refuses the counts.
    cases["dynamic_all_codes_declared"] = dynamic(complete, 288, {0: 1, 1: 1}, 32, match_items)
    # A repeat code before any length: ours repeats length 0, zlib refuses it.
    cases["dynamic_leading_repeat"] = dynamic(complete, 258, {0: 1, 1: 1}, 2, match_items, True)
    return cases


def peer_archives():
    archives = {}
    if os.path.isdir(PEERS):
        for name in sorted(os.listdir(PEERS)):
            path = os.path.join(PEERS, name)
            if name.endswith((".md", ".json")) or os.path.getsize(path) > LARGEST_ARCHIVE:
                continue
            with open(path, "rb") as f:
                archives["peer_" + name] = f.read()
    return archives


def raw_entries(archive):
    """(method, flags, uncompressed size, CRC, compressed bytes) of each entry, found through the
    central directory so that sizes are right with data descriptors too."""
    end = archive.rfind(b"PK\x05\x06")
    if end < 0 or end + 22 > len(archive):
        return
    count, size, offset = struct.unpack_from("<HII", archive, end + 10)
    p = offset + max(0, end - (offset + size))  # bytes in front of the archive
    shift = p - offset
    for _ in range(count):
        if archive[p:p + 4] != b"PK\x01\x02":
            return
        (flags, method, crc, csize, usize, nlen, xlen, clen, local) = struct.unpack_from("<2x2x HH 4x I II HHH 8x I", archive, p + 4)
        p += 46 + nlen + xlen + clen
        local += shift
        if archive[local:local + 4] != b"PK\x03\x04" or csize == 0xFFFFFFFF:
            continue
        lnlen, lxlen = struct.unpack_from("<HH", archive, local + 26)
        start = local + 30 + lnlen + lxlen
        yield method, flags, usize, crc, archive[start:start + csize]


def write_seeds(target, seeds):
    """Writes each distinct seed once, under the first name it came with."""
    directory = os.path.join(SEEDS, target)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    written = set()
    for name, data in seeds.items():
        if data in written:
            continue
        written.add(data)
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


def main():
    archives = made_archives()
    archives.update(hostile_archives())
    archives.update(peer_archives())
    write_seeds("archives", archives)  # shared by the three engine targets

    streams = {1: {}, 6: {}, 8: {}, 9: {}}
    blocks = {}
    for name, archive in archives.items():
        for index, (method, flags, usize, crc, data) in enumerate(raw_entries(archive)):
            if method in streams and data and not flags & 1:
                streams[method]["%s.%d" % (name, index)] = (flags, usize, data[:LARGEST_STREAM])
            if method in (0, 8) and usize <= 0xFFFF and len(data) <= 4096 and not flags & 1:
                # field_block: target size, test-mode flag, then method, CRC and data.
                blocks["%s.%d" % (name, index)] = struct.pack("<HBHI", usize, 0, method, crc) + data
    # The enhanced-deflate peer is too large as an archive; its first stream is not.
    big = os.path.join(PEERS, "deflate64.zip")
    if os.path.exists(big):
        with open(big, "rb") as f:
            for index, (method, flags, usize, _, data) in enumerate(raw_entries(f.read())):
                if method == 9 and index < 2:
                    streams[9]["peer_deflate64.zip.%d" % index] = (flags, usize, data[:LARGEST_STREAM])
    inflate = {n: d for n, (_, _, d) in streams[8].items()}
    inflate.update(deflate_rule_cases())
    write_seeds("inflate", inflate)
    write_seeds("inflate64", {n: d for n, (_, _, d) in streams[9].items()})
    write_seeds("field_block", blocks)
    write_seeds("unshrink", {n: d for n, (_, _, d) in streams[1].items()})
    # explode: flags byte, uncompressed size in three bytes, then the data.
    write_seeds("explode", {n: bytes([f & 0x06]) + struct.pack("<I", min(u, 0xFFFFFF))[:3] + d
                            for n, (f, u, d) in streams[6].items()})

    write_seeds("patterns", {
        "star": b"\x00*.txt\x00dir/file.txt",
        "set": b"\x01[a-c]?[!x]*\x00Bzyq",
        "escape": b"\x00a\\*b*[\\]]\x00a*bcd]",
        "stars": b"\x00*a*b*c*d*\x00xxaxxbxxcxxdxx",
        "utf8": b"\x01\xc3\x89t\xc3\xa9*\x00\xc3\xa9T\xc3\xa9.txt",
        "sfx": b"\x00sfx.ini\x00sfx.ini",
    })
    write_seeds("command_line", {
        "options": b"/opt/app/quenlow-sfx\x00-silent\x00-J-Xmx512m\x00-jreLoc\x00/opt/jre\x00arg",
        "tmpdir": b"quenlow-sfx\x00-J-Djava.io.tmpdir=/var/tmp\x00-DEBUG\x00-nowait\x00-noconsole",
        "errors": b"./x\x00-J\x00-jreLoc",
    })
    write_seeds("descriptor", {
        "sfx.ini": b"[autorun]\r\nCMD=java -jar installer.jar -silent\r\nJRE_COMPONENT=oracle.jdk\r\n"
                   b"TEMP_SPACE_TOTAL_BYTES=0x7fffffff\r\nDISKCNT=1\r\n",
        "quoted.ini": b"\xef\xbb\xbf[other]\nCMD=no\n[ AutoRun ]\n cmd = \"java -cp a\" \nDISKCNT=\n"
                      b"TEMP_SPACE_TOTAL_BYTES=-0777\n",
    })
    write_seeds("versions", {
        "jdk": b"1.8.0_131\x001.8.0_141\x0017.0.2",
        "letters": b"2a.10\x002B.9\x00,,1..",
    })
    write_seeds("launch_command", {
        "plain": b"\x01/opt/jre/bin/java\x00/tmp\x00/home/u\x00/tmp/sfx1.tmp\x00/opt/q/quenlow-sfx\x00"
                 b" -cp installer.jar Main\x00-Xmx1g\x00-silent\x00",
        "quotes": b"\x00C:\\Java\\bin\\java.exe\x00C:\\Temp\\\x00C:\\a b\x00x\"y\x00z\\\\\x00\x00\"\x00a\\\"b\x00",
    })


if __name__ == "__main__":
    main()
