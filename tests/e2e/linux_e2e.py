"""End to end on Linux: real self-extracting installers, built with quenlow-pack from the
launcher stub, a Java runtime made with jlink and the sample installer, run silently as a
user would. Checked from the outside only: the exit status, what the installer received
(arguments, system properties, working directory), what it did, and that the extraction
directory is gone afterwards (or kept with -debug).

Usage: linux_e2e.py --sfx STUB --pack QUENLOW_PACK --cache DIR [unittest options]
"""
import argparse
import os
import pty
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

import e2e_support as support

OPTIONS = None
COMPONENT = "sample.jre"
CMD = "bin/java -jar install/installer.jar --payload payload"


class InstallerTestCase(unittest.TestCase):
    """A scratch folder per test and the means to build and run installers in it."""

    @classmethod
    def setUpClass(cls):
        cls.cache = Path(OPTIONS.cache).resolve()
        cls.installer_jar = support.build_installer_jar(cls.cache)

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="quenlow-e2e-"))
        self.base = self.work / "tmp"   # the launcher's temporary directory
        self.base.mkdir()
        self.home = self.work / "home"  # where the user starts the installer
        self.home.mkdir()
        self.report = self.work / "report.txt"

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def source(self, runtime="real"):
        """A source folder; the runtime component holds the jlink runtime ("real"),
        nothing ("none"), a jar claiming more bytes than any disk has ("huge"), or a jar
        without a Java program ("not-java")."""
        source = support.make_source(self.work, self.installer_jar)
        script = source / "Disk1" / "install" / "post-install.sh"
        script.write_text("#!/bin/sh\n")
        script.chmod(0o755)
        data_files = support.component_dir(source, COMPONENT, "17.0")
        if runtime == "real":
            os.symlink(support.runtime_jar(self.cache), data_files / "runtime.jar")
        elif runtime == "huge":
            support.jar_claiming_size(data_files / "runtime.jar", 1 << 60)
        elif runtime == "not-java":
            support.zip_tree(source / "Disk1" / "payload", data_files / "runtime.jar")
        return source

    def pack(self, source, *options):
        return support.pack(Path(OPTIONS.pack), Path(OPTIONS.sfx), self.work / "setup-sample",
                            source, *options)

    def pack_unchecked(self, source, **keys):
        return support.pack_unchecked(Path(OPTIONS.sfx), self.work / "setup-sample", source,
                                      **keys)

    def environment(self, base=None):
        return dict(os.environ, TMPDIR=str(base or self.base),
                    QUENLOW_TEST_REPORT=str(self.report))

    def run_installer(self, installer, *arguments, base=None):
        return subprocess.run([str(installer), *arguments], cwd=self.home,
                              env=self.environment(base), capture_output=True, text=True,
                              timeout=300)

    def start_installer(self, installer, *arguments):
        return subprocess.Popen([str(installer), *arguments], cwd=self.home,
                                env=self.environment(), stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True)

    def wait_for(self, condition, process):
        """Polls (a minute at most) until condition() holds while the process runs."""
        deadline = time.monotonic() + 60
        while not condition():
            if process.poll() is not None or time.monotonic() > deadline:
                self.fail("gave up waiting; the launcher said: " + process.communicate()[1])
            time.sleep(0.005)


class LauncherEdgeTest(InstallerTestCase):
    """Interruptions, unusual temporary directories and descriptors: the launcher's own
    behaviour, which the archive's record forms do not change."""

    def test_a_signal_during_the_extraction_cancels_and_ends_the_launcher_by_it(self):
        source = self.source()
        # Many entries, so that the extraction runs a while and stops soon after the signal.
        bulk = source / "Disk1" / "bulk"
        bulk.mkdir()
        for index in range(320):
            (bulk / ("part%03d.bin" % index)).write_bytes(os.urandom(128 * 1024))
        installer = self.pack(source, "--cmd", CMD, "--jre-component", COMPONENT)
        for sent in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=sent.name):
                process = self.start_installer(installer, "-silent", "-nowait")
                self.wait_for(lambda: list(self.base.glob("sfx*.tmp/Disk1")), process)
                process.send_signal(sent)
                errors = process.communicate(timeout=120)[1]
                self.assertEqual(process.returncode, -sent, errors)
                self.assertEqual(errors, "ERROR: Unzip failed\n")
                self.assertEqual(support.extraction_dirs(self.base), [])
                self.assertFalse(self.report.exists())

    def test_sigterm_while_the_installer_runs_reaches_it_and_the_launcher_cleans_up(self):
        installer = self.pack(self.source(), "--cmd", CMD + " --wait",
                              "--jre-component", COMPONENT)
        process = self.start_installer(installer, "-silent", "-nowait")
        waiting = Path(str(self.report) + ".waiting")
        self.wait_for(waiting.exists, process)
        process.send_signal(signal.SIGTERM)
        errors = process.communicate(timeout=120)[1]
        # The Java runtime ends with 128 + 15 after its shutdown hooks; that is the
        # launcher's exit status, not a death by the signal.
        self.assertEqual(process.returncode, 143, errors)
        self.assertTrue(Path(str(self.report) + ".ended").exists())
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_temporary_directories_behind_a_link_or_with_a_quote_and_a_blank(self):
        installer = self.pack(self.source(), "--cmd", CMD, "--jre-component", COMPONENT)
        linked = self.work / "linked-tmp"
        linked.symlink_to(self.base)
        quoted = self.work / 'say "hi" there'
        quoted.mkdir()
        for base in (linked, quoted):
            with self.subTest(base=base.name):
                result = self.run_installer(installer, "-silent", "-nowait", base=base)
                self.assertEqual(result.returncode, 0, result.stderr)
                report = support.read_report(self.report)
                self.assertEqual(report["property.java.io.tmpdir"], str(base))
                self.assertTrue(report["property.sfx.extract.path"].startswith(str(base) + "/sfx"))
                self.assertEqual(support.extraction_dirs(base), [])

    def test_no_room_for_the_whole_archive(self):
        source = self.source()
        (source / "sfx.ini").write_text("[autorun]\nTEMP_SPACE_TOTAL_BYTES=%d\n" % (1 << 62))
        installer = self.pack(source, "--cmd", CMD, "--jre-component", COMPONENT)
        result = self.run_installer(installer, "-silent", "-nowait")
        self.assertEqual(result.returncode, 255)
        self.assertRegex(result.stderr, r"^ERROR: The directory " + re.escape(str(self.base)) +
                         r" does not have enough free space\. At least \d+ MB are required\."
                         r"(.|\n)*\nERROR: Cannot setup the extract directory\.\n$")
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_archive_without_a_descriptor(self):
        installer = self.work / "setup-without-descriptor"
        shutil.copyfile(OPTIONS.sfx, installer)
        installer.chmod(0o755)
        with zipfile.ZipFile(installer, "a") as archive:
            archive.writestr("Disk1/readme.txt", "no sfx.ini here\n")
        result = self.run_installer(installer, "-silent", "-nowait")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, "ERROR: Cannot obtain archive information because it "
                                        "is corrupted (1).\n")
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_two_runtime_components_unpack_into_the_first_ones_directory(self):
        source = self.source()
        extra = self.work / "extra"
        (extra / "lib").mkdir(parents=True)
        (extra / "lib" / "extra.txt").write_text("extra\n")
        support.zip_tree(extra, support.component_dir(source, "extra.jre", "2.0") / "x.jar")
        installer = self.pack(source, "--cmd", CMD, "--jre-component",
                              COMPONENT + ",extra.jre:2.0")
        result = self.run_installer(installer, "-silent", "-nowait", "-debug")
        self.assertEqual(result.returncode, 0, result.stderr)
        kept = self.base / support.extraction_dirs(self.base)[0]
        self.assertTrue((kept / COMPONENT / "bin" / "java").is_file())
        self.assertEqual((kept / COMPONENT / "lib" / "extra.txt").read_text(), "extra\n")
        self.assertFalse((kept / "extra.jre").exists())


class LinuxInstallerTest(InstallerTestCase):
    """The installer run as users run it, and how each failure before the launch ends."""

    def test_silent_install_passes_everything_through(self):
        installer = self.pack(self.source(), "--cmd", CMD, "--jre-component", COMPONENT)
        target = self.home / "installed"   # given relative: the user's folder, not Disk1
        passed = ["--target", "installed", "two words", 'say "hi"', "C:\\trail\\", "",
                  "--exit", "3"]
        result = self.run_installer(installer, "-silent", "-nowait",
                                    "-J-Dsample.option=a b", *passed)
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertEqual(result.stderr, "")
        self.assertIn("Sample installer finished with exit code 3", result.stdout)

        report = support.read_report(self.report)
        extract = report["property.sfx.extract.path"]
        self.assertRegex(extract, "^" + re.escape(str(self.base)) + r"/sfx[0-9A-F]{1,4}\.tmp$")
        self.assertEqual(report["cwd"], extract + "/Disk1")
        self.assertEqual(report["property.java.io.tmpdir"], str(self.base))
        self.assertEqual(report["property.sfx.installer.launcher.home"], str(self.home))
        self.assertEqual(report["property.sfx.exe"], str(installer))
        self.assertEqual(report["property.sample.option"], "a b")
        self.assertEqual(report["args"], ["--payload", "payload", "-silent", "-nowait",
                                          "-J-Dsample.option=a b", *passed])

        self.assertEqual((target / "readme.txt").read_text(), "Sample product\n")
        self.assertEqual((target / "docs" / "guide.txt").read_text(), "guide\n" * 500)
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_debug_keeps_the_extraction_directory(self):
        installer = self.pack(self.source(), "--cmd", CMD, "--jre-component", COMPONENT)
        result = self.run_installer(installer, "-silent", "-nowait", "-debug")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("myspawn() result: 0", result.stderr)
        kept = support.extraction_dirs(self.base)
        self.assertEqual(len(kept), 1)
        java = self.base / kept[0] / COMPONENT / "bin" / "java"
        self.assertTrue(os.access(java, os.X_OK))
        # quenlow-pack stores the modes of the files it packs as well.
        script = self.base / kept[0] / "Disk1" / "install" / "post-install.sh"
        self.assertTrue(os.access(script, os.X_OK))
        self.assertFalse(os.access(self.base / kept[0] / "Disk1" / "payload" / "readme.txt",
                                   os.X_OK))

    def test_runtime_image_of_a_real_runtime(self):
        installer = self.pack(self.source("none"), "--cmd", CMD, "--runtime-image",
                              str(support.build_runtime(self.cache)), "--runtime-name", "image")
        result = self.run_installer(installer, "-silent", "-nowait", "--exit", "4")
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertIn("Sample installer finished with exit code 4", result.stdout)
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_damaged_archive(self):
        installer = self.pack_unchecked(self.source("none"), CMD=CMD, JRE_COMPONENT=COMPONENT)
        data = installer.read_bytes()
        at = data.index(b"Sample product\n")   # stored: too short to deflate
        installer.write_bytes(data[:at] + b"s" + data[at + 1:])
        result = self.run_installer(installer, "-silent", "-nowait")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, "ERROR: Unzip failed\nERROR: Cannot extract the archive "
                                        "because it is corrupted (1).\n")
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_descriptor_without_cmd(self):
        installer = self.pack_unchecked(self.source("none"), JRE_COMPONENT=COMPONENT)
        result = self.run_installer(installer, "-silent", "-nowait")
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr, r"^ERROR: CMD property not found in " +
                         re.escape(str(self.base)) + r"/sfx[0-9A-F]+\.tmp/sfx\.ini \(\d+\)\n\n$")
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_runtime_component_without_jars(self):
        installer = self.pack_unchecked(self.source("none"), CMD=CMD, JRE_COMPONENT=COMPONENT)
        result = self.run_installer(installer, "-silent", "-nowait")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr,
                         "ERROR: Cannot find components specified in JRE_COMPONENT=%s\n"
                         % COMPONENT)
        self.assertFalse(self.report.exists())

    def test_no_room_for_the_runtime(self):
        installer = self.pack_unchecked(self.source("huge"), CMD=CMD, JRE_COMPONENT=COMPONENT)
        result = self.run_installer(installer, "-silent", "-nowait")
        self.assertEqual(result.returncode, 1)
        lines = result.stderr.splitlines()
        self.assertRegex(lines[0], r"^ERROR: The directory " + re.escape(str(self.base)) +
                         r" does not have enough free space\. At \d+ MB of free space is "
                         r"required\.$")
        self.assertRegex(lines[1], r"^ERROR: Failed to unzip Java component jars "
                         r"Disk1/stage/Components/sample\.jre/17\.0/DataFiles/runtime\.jar "
                         r"to sample\.jre$")
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_installer_that_cannot_be_started(self):
        installer = self.pack_unchecked(self.source("not-java"), CMD="bin/java -jar x.jar",
                                        JRE_COMPONENT=COMPONENT)
        result = self.run_installer(installer, "-silent")  # no -nowait: no prompt either
        self.assertEqual(result.returncode, 555 & 0xFF)  # Linux exit codes are 8 bits
        self.assertEqual(result.stderr, "ERROR: Cannot launch the installer (555)\n")
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_cmd_without_arguments(self):
        installer = self.pack_unchecked(self.source("not-java"), CMD="bin/java",
                                        JRE_COMPONENT=COMPONENT)
        result = self.run_installer(installer, "-silent", "-nowait", "-debug")
        self.assertEqual(result.returncode, 1)
        self.assertIn("ERROR: Invalid format in CMD=sample.jre/bin/java\n", result.stderr)
        # The runtime was unpacked before the command was looked at.
        kept = self.base / support.extraction_dirs(self.base)[0]
        self.assertTrue((kept / COMPONENT / "readme.txt").is_file())


STAND_IN_JAVA = r"""
#include <stdio.h>
int main(int argc, char** argv) {
    printf("stand-in java:");
    for (int i = 1; i < argc; ++i) printf(" %s", argv[i]);
    printf("\n");
    return 7;
}
"""


def is_static(program: Path) -> bool:
    """True when the ELF file asks for no program interpreter (no dynamic loader)."""
    data = program.read_bytes()
    phoff, = struct.unpack_from("<Q", data, 0x20)
    size, count = struct.unpack_from("<HH", data, 0x36)
    return all(struct.unpack_from("<I", data, phoff + i * size)[0] != 3  # PT_INTERP
               for i in range(count))


class EmptyRootTest(unittest.TestCase):
    """The Linux stub needs nothing of the system it runs on: no shared library, no
    locale or name-service file, not even /proc."""

    def test_installer_runs_in_an_empty_root(self):
        stub = Path(OPTIONS.sfx)
        if not is_static(stub):
            self.skipTest("the stub is not statically linked (sanitizer build)")
        self.assertLessEqual(stub.stat().st_size, 1 << 20)
        chroot = shutil.which("chroot") or "/usr/sbin/chroot"
        if os.geteuid() != 0 or not os.path.exists(chroot):
            self.skipTest("needs root and chroot")
        work = Path(tempfile.mkdtemp(prefix="quenlow-root-"))
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        runtime = work / "runtime"
        (runtime / "bin").mkdir(parents=True)
        (work / "java.c").write_text(STAND_IN_JAVA)
        subprocess.run(["cc", "-static", "-Os", "-o", str(runtime / "bin" / "java"),
                        str(work / "java.c")], check=True)
        source = support.make_source(work)
        support.zip_tree(runtime, support.component_dir(source, COMPONENT, "1") / "rt.jar")
        root = work / "root"
        (root / "tmp").mkdir(parents=True)
        (root / "tmp").chmod(0o1777)
        support.pack(Path(OPTIONS.pack), stub, root / "setup", source,
                     "--cmd", "bin/java -jar install/installer.jar", "--jre-component",
                     COMPONENT)
        self.assertEqual(sorted(p.name for p in root.iterdir()), ["setup", "tmp"])
        result = subprocess.run([chroot, str(root), "/setup", "-silent", "-nowait", "a b"],
                                env={"PATH": "/"}, capture_output=True, text=True,
                                timeout=120)
        self.assertEqual(result.returncode, 7, result.stderr)
        self.assertRegex(result.stdout, r"^stand-in java: -Djava\.io\.tmpdir=/tmp .* -Dsfx\.exe=/setup "
                                        r"-jar install/installer\.jar -silent -nowait a b\n$")
        self.assertEqual(support.extraction_dirs(root / "tmp"), [])


class PackToolTest(unittest.TestCase):
    """quenlow-pack's refusals, --runtime-image, and reproducible output."""

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="quenlow-pack-"))
        self.out = self.work / "out"

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def pack(self, source, *options, stub=None, env=None, out=None):
        return subprocess.run([OPTIONS.pack, "--stub", stub or OPTIONS.sfx, "--output",
                               str(out or self.out), *options, str(source)],
                              capture_output=True, text=True, env=env)

    def runtime_folder(self, root, mode=0o755):
        """A runtime image as jlink leaves it, small: bin/java, a release file, and links
        (to a file and to a folder) such as a distribution's JDK has."""
        runtime = root / "runtime"
        (runtime / "bin").mkdir(parents=True)
        (runtime / "bin" / "java").write_text("#!/bin/sh\n")
        (runtime / "bin" / "java").chmod(mode)
        (runtime / "release").write_text('IMPLEMENTOR="x"\nJAVA_VERSION="17.0.2"\n')
        (root / "shared" / "docs").mkdir(parents=True)
        (root / "shared" / "docs" / "index.html").write_text("<p>docs</p>\n" * 50)
        os.symlink(root / "shared" / "docs", runtime / "docs")
        os.symlink("../release", runtime / "bin" / "release-link")
        return runtime

    def test_refuses_a_source_without_disk1_or_without_the_component(self):
        result = self.pack(self.work)
        self.assertEqual(result.returncode, 1)
        self.assertIn("has no Disk1 directory", result.stderr)
        source = support.make_source(self.work)
        (source / "sfx.ini").write_text("[autorun]\nJRE_COMPONENT=missing.jre\n")
        result = self.pack(source, "--cmd", CMD)
        self.assertEqual(result.returncode, 1)
        self.assertIn('runtime component "missing.jre" named by JRE_COMPONENT not found',
                      result.stderr)
        self.assertFalse(self.out.exists())

    def test_refuses_installers_that_cannot_start(self):
        source = support.make_source(self.work)
        plain = self.work / "plain"
        (plain / "bin").mkdir(parents=True)
        (plain / "bin" / "java").write_text("")   # mode 0644, as the jar tool would leave it
        support.zip_tree(plain, support.component_dir(source, "plain.jre", "1") / "rt.jar")
        runtime = self.runtime_folder(self.work)
        installer = self.work / "installer"
        self.assertEqual(self.pack(source, "--cmd", CMD, "--runtime-image", str(runtime),
                                   out=installer).returncode, 0)
        dangling = support.make_source(self.work / "other")
        os.symlink("/nonexistent/target", dangling / "Disk1" / "broken")
        image = ["--runtime-image", str(runtime)]
        cases = [
            (source, image, None, "no CMD given"),
            (source, ["--cmd", CMD], None, "no JRE_COMPONENT given"),
            (source, ["--cmd", "java -jar x.jar", *image], None,
             "CMD's program java is not in the jars of runtime component \"jre\""),
            (source, ["--cmd", CMD, "--jre-component", "plain.jre"], None,
             "CMD's program bin/java in plain.jre/1/DataFiles/rt.jar has no execute mode"),
            (source, ["--cmd", "bin\\java -jar x.jar", *image], None, "backslashes"),
            (source, ["--cmd", CMD, *image], str(installer), "already carries an archive"),
            (source, ["--cmd", CMD, "--runtime-image", str(plain)], None,
             "no JAVA_VERSION in %s/release: give the runtime's version with --runtime-version"
             % plain),
            (dangling, ["--cmd", CMD, *image], None,
             "broken is a symbolic link to /nonexistent/target, which does not exist"),
        ]
        for folder, options, stub, message in cases:
            with self.subTest(message):
                result = self.pack(folder, *options, stub=stub)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)
                self.assertFalse(self.out.exists())
                self.assertEqual(sorted(p.name for p in self.work.iterdir() if
                                        p.name.startswith("out")), [])
        result = self.pack(source, "--cmd", CMD, "--jre-component", "plain.jre")
        self.assertIn("--runtime-image", result.stderr)
        self.assertIn("python3 -m zipfile", result.stderr)

    def test_runtime_image(self):
        source = support.make_source(self.work)
        runtime = self.runtime_folder(self.work)
        before = sorted(runtime.rglob("*"))
        result = self.pack(source, "--cmd", CMD, "--runtime-image", str(runtime))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")   # no progress when not on a terminal
        self.assertRegex(result.stdout, r"entries \(the runtime jar holds 6\), .* MB of "
                                        r"files packed into .* MB \(.* %\)\n$")
        self.assertEqual(sorted(runtime.rglob("*")), before)
        jar_name = "Disk1/stage/Components/jre/17.0.2/DataFiles/runtime.jar"
        with zipfile.ZipFile(self.out) as archive:
            self.assertIn("JRE_COMPONENT=jre\n", archive.read("sfx.ini").decode())
            self.assertEqual(archive.getinfo(jar_name).compress_type, zipfile.ZIP_STORED)
            jar = zipfile.ZipFile(archive.open(jar_name))
        modes = {info.filename: info.external_attr >> 16 for info in jar.infolist()}
        self.assertEqual(modes["bin/java"], 0o100755)
        self.assertEqual(modes["docs/"] & 0o170000, 0o040000)
        self.assertEqual(jar.read("docs/index.html"), b"<p>docs</p>\n" * 50)
        self.assertEqual(jar.read("bin/release-link"), (runtime / "release").read_bytes())

    def test_progress_on_a_terminal(self):
        source = support.make_source(self.work)
        runtime = self.runtime_folder(self.work)
        pid, terminal = pty.fork()
        if pid == 0:
            os.execv(OPTIONS.pack, [OPTIONS.pack, "--stub", OPTIONS.sfx, "--output", str(self.out),
                                    "--cmd", CMD, "--runtime-image", str(runtime), str(source)])
        shown = b""
        while True:
            try:
                chunk = os.read(terminal, 4096)
            except OSError:   # the terminal closes with the program
                break
            if not chunk:
                break
            shown += chunk
        self.assertEqual(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]), 0, shown)
        self.assertRegex(shown.decode(), r"\r\[#{30}\] 100 %  6/6 files  0\.0/0\.0 MB\r +\r.*"
                                         r": \d+ entries \(the runtime jar holds 6\)")

    def test_reproducible_with_source_date_epoch(self):
        outputs = []
        for copy, zone, when in (("a", "UTC", 1.6e9), ("b", "Asia/Tokyo", 1.7e9)):
            source = support.make_source(self.work / copy)
            runtime = self.runtime_folder(self.work / copy)
            for path in [*source.rglob("*"), *runtime.rglob("*")]:
                os.utime(path, (when, when), follow_symlinks=False)
            env = dict(os.environ, SOURCE_DATE_EPOCH="1500000000", TZ=zone)
            outputs.append(self.work / ("setup-" + copy))
            result = self.pack(source, "--cmd", CMD, "--runtime-image", str(runtime),
                               env=env, out=outputs[-1])
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(outputs[0].read_bytes(), outputs[1].read_bytes())

    def test_options_override_the_descriptor_and_the_total_is_computed(self):
        source = support.make_source(self.work)
        runtime = self.runtime_folder(self.work)
        support.zip_tree(runtime, support.component_dir(source, COMPONENT, "1") / "rt.jar")
        (source / "sfx.ini").write_text("[autorun]\ncmd=bin/java -jar from-file.jar\n"
                                        "JRE_COMPONENT=x\nDISKCNT=2\n")
        result = self.pack(source, "--jre-component", COMPONENT, "--zip64")
        self.assertEqual(result.returncode, 0, result.stderr)
        with zipfile.ZipFile(self.out) as archive:
            self.assertIsNone(archive.testzip())
            names = archive.namelist()
            descriptor = archive.read("sfx.ini").decode()
            total = sum(info.file_size for info in archive.infolist())
        self.assertEqual(names[0], "sfx.ini")
        self.assertEqual(descriptor, "[autorun]\nCMD=bin/java -jar from-file.jar\n"
                                     "JRE_COMPONENT=%s\nDISKCNT=2\n"
                                     "TEMP_SPACE_TOTAL_BYTES=%d\n" % (COMPONENT, total))


class Zip64InstallerTest(LinuxInstallerTest):
    """Every case again, with every record of the installer's archive in Zip64 form: the
    launcher must find sfx.ini with a clean result (offsets adjusted for the stub)."""

    def pack(self, source, *options):
        return super().pack(source, "--zip64", *options)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--sfx", required=True)
    parser.add_argument("--pack", required=True)
    parser.add_argument("--cache", required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
