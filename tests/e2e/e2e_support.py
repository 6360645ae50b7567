"""Shared pieces of the end-to-end tests: the fixtures that are built at test time (a Java
runtime made with jlink, the sample installer jar, runtime component jars), source folders
for quenlow-pack, and the reports that the sample installer and the fake java.exe write.

Everything slow is cached in a folder of the build tree and rebuilt only when missing or
older than its sources.
"""
import os
import shutil
import struct
import subprocess
import zipfile
from pathlib import Path

FIXTURES = Path(__file__).resolve().parent.parent / "fixtures"
INSTALLER_SOURCE = FIXTURES / "installer" / "SampleInstaller.java"


def build_runtime(cache: Path) -> Path:
    """A minimal Java runtime (java.base only), made once per build tree."""
    runtime = cache / "jre"
    if (runtime / "bin" / "java").exists():
        return runtime
    cache.mkdir(parents=True, exist_ok=True)
    partial = cache / "jre.partial"
    shutil.rmtree(partial, ignore_errors=True)
    subprocess.run(["jlink", "--add-modules", "java.base", "--strip-debug", "--no-header-files",
                    "--no-man-pages", "--output", str(partial)], check=True)
    partial.rename(runtime)
    return runtime


def build_installer_jar(cache: Path) -> Path:
    """The sample installer compiled into an executable jar."""
    jar = cache / "installer.jar"
    if jar.exists() and jar.stat().st_mtime >= INSTALLER_SOURCE.stat().st_mtime:
        return jar
    classes = cache / "installer-classes"
    shutil.rmtree(classes, ignore_errors=True)
    subprocess.run(["javac", "-d", str(classes), str(INSTALLER_SOURCE)], check=True)
    subprocess.run(["jar", "--create", "--file", str(jar), "--main-class", "SampleInstaller",
                    "-C", str(classes), "."], check=True)
    return jar


def zip_tree(directory: Path, archive: Path) -> Path:
    """A runtime component jar of a folder, keeping Unix modes (bin/java stays executable,
    which the JDK's jar tool would not keep)."""
    archive.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
        for path in sorted(directory.rglob("*")):
            out.write(path, path.relative_to(directory).as_posix())
    return archive


def runtime_jar(cache: Path) -> Path:
    jar = cache / "runtime.jar"
    if not jar.exists():
        zip_tree(build_runtime(cache), cache / "runtime.jar.partial").rename(jar)
    return jar


def jar_claiming_size(path: Path, claimed: int) -> Path:
    """A one-entry jar whose central directory announces `claimed` uncompressed bytes
    (through a Zip64 field): measuring it asks for more room than any disk has."""
    name = b"huge.bin"
    data = b"x"
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0, 0, 0, 0x21, 0, 1, 1, len(name), 0)
    extra = struct.pack("<HHQ", 1, 8, claimed)
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0, 0, 0, 0x21, 0, 1,
                          0xFFFFFFFF, len(name), len(extra), 0, 0, 0, 0, 0) + name + extra
    body = local + name + data
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(body), 0)
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(body + central + end)
    return path


def component_dir(source: Path, name: str, version: str) -> Path:
    data_files = source / "Disk1" / "stage" / "Components" / name / version / "DataFiles"
    data_files.mkdir(parents=True, exist_ok=True)
    return data_files


def make_source(root: Path, installer_jar: Path = None) -> Path:
    """A source folder with Disk1/install/installer.jar and a small payload."""
    source = root / "source"
    (source / "Disk1" / "payload" / "docs").mkdir(parents=True, exist_ok=True)
    (source / "Disk1" / "payload" / "readme.txt").write_text("Sample product\n")
    (source / "Disk1" / "payload" / "docs" / "guide.txt").write_text("guide\n" * 500)
    if installer_jar is not None:
        (source / "Disk1" / "install").mkdir(exist_ok=True)
        shutil.copyfile(installer_jar, source / "Disk1" / "install" / "installer.jar")
    return source


def pack(tool: Path, stub: Path, output: Path, source: Path, *options: str) -> Path:
    result = subprocess.run([str(tool), "--stub", str(stub), "--output", str(output),
                             *options, str(source)], capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError("quenlow-pack failed: " + result.stderr)
    return output


def pack_unchecked(stub: Path, output: Path, source: Path, **keys: str) -> Path:
    """An installer that quenlow-pack refuses to write because it cannot start (no CMD, a
    runtime without the Java program...), for tests of how the launcher reports it: the
    stub, then an archive appended by Python's zipfile with a descriptor of the keys given
    (and the exact TEMP_SPACE_TOTAL_BYTES) first."""
    files = sorted(p for p in source.rglob("*") if p != source / "sfx.ini")
    payload = sum(p.stat().st_size for p in files if p.is_file())
    text, total = "", payload
    while len(text) + payload != total or not text:
        total = payload + len(text)
        text = "[autorun]\n" + "".join("%s=%s\n" % item for item in keys.items()) + \
            "DISKCNT=1\nTEMP_SPACE_TOTAL_BYTES=%d\n" % total
    shutil.copyfile(stub, output)
    with zipfile.ZipFile(output, "a") as archive:   # stored: tests find bytes to damage
        archive.writestr("sfx.ini", text)
        for path in files:
            archive.write(path, path.relative_to(source).as_posix())
    output.chmod(0o755)
    return output


def windows_path(path: Path) -> str:
    """The Wine name of a Unix path (drive Z: is the Unix root)."""
    return "Z:" + str(path).replace("/", "\\")


def read_report(path: Path) -> dict:
    """The key=value lines of a report; "args" collects arg.0, arg.1, ... in order."""
    values = {}
    for line in path.read_text(encoding="utf-8", errors="replace").splitlines():
        key, _, value = line.partition("=")
        values[key] = value
    count = int(values.get("argc", "0"))
    values["args"] = [values["arg.%d" % i] for i in range(count)]
    return values


def extraction_dirs(base: Path) -> list:
    return sorted(p.name for p in base.iterdir() if p.name.startswith("sfx")) \
        if base.exists() else []
