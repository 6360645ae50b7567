"""End to end on Windows, under Wine: quenlow-sfx.exe packed by quenlow-pack with a runtime
component whose bin\\java.exe is our fake java (it records its raw command line, its
working directory and its arguments as the C runtime splits them, and exits with the code
it is told). Checked: the exact command line, the working directory, the exit status, the
arguments the child receives, and the clean-up.

Usage: wine_e2e.py --sfx QUENLOW_SFX_EXE --java FAKE_JAVA_EXE --pack QUENLOW_PACK
Exits with 77 (skipped) when quenlow-pack has not been built for this machine.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import e2e_support as support
from e2e_support import windows_path

OPTIONS = None
COMPONENT = "runtime.jre"
CMD = ".\\jdk\\jre\\bin\\java.exe -jar install\\installer.jar"


class WineInstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(tempfile.mkdtemp(prefix="quenlow-wine-e2e-"))
        source = support.make_source(cls.root)
        (source / "Disk1" / "install").mkdir()
        (source / "Disk1" / "install" / "installer.jar").write_bytes(b"not run by the fake")
        runtime = cls.root / "runtime"
        (runtime / "jdk" / "jre" / "bin").mkdir(parents=True)
        shutil.copyfile(OPTIONS.java, runtime / "jdk" / "jre" / "bin" / "java.exe")
        support.zip_tree(runtime, support.component_dir(source, COMPONENT, "1.0") / "rt.jar")
        cls.installer = support.pack(Path(OPTIONS.pack), Path(OPTIONS.sfx),
                                     cls.root / "setup.exe", source, "--cmd", CMD,
                                     "--jre-component", COMPONENT)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(dir=self.root))
        self.base = self.work / "tmp"
        self.base.mkdir()
        self.home = self.work / "home"
        self.home.mkdir()
        self.report = self.work / "report.txt"

    def run_installer(self, *arguments, exit_code=0):
        environment = dict(os.environ, QUENLOW_TEST_REPORT=windows_path(self.report),
                           QUENLOW_TEST_EXIT=str(exit_code))
        environment.setdefault("WINEDEBUG", "-all")
        return subprocess.run(["wine", windows_path(self.installer), *arguments],
                              cwd=self.home, env=environment, capture_output=True,
                              text=True, errors="replace", timeout=300)

    def test_command_line_working_directory_and_exit_status(self):
        base = windows_path(self.base)
        result = self.run_installer("-J-Xmx512m", "-silent", "-noconsole", "-nowait",
                                    "-J-Djava.io.tmpdir=" + base, exit_code=3)
        self.assertEqual(result.returncode, 3, result.stderr)
        report = support.read_report(self.report)
        match = re.fullmatch(re.escape(base) + r"\\(sfx[0-9A-F]{1,4}\.tmp)\\Disk1",
                             report["cwd"], re.IGNORECASE)
        self.assertIsNotNone(match, report["cwd"])
        extract = report["cwd"][:-len("\\Disk1")]
        expected = ('"{x}\\runtime.jre\\jdk\\jre\\bin\\java.exe" "-Djava.io.tmpdir={b}" '
                    '"-Dsfx.installer.launcher.home={h}" "-Dsfx.extract.path={x}" '
                    '"-Dsfx.exe={e}" "-Xmx512m" -jar install\\installer.jar "-J-Xmx512m" '
                    '"-silent" "-noconsole" "-nowait"').format(
                        x=extract, b=base, h=windows_path(self.home),
                        e=windows_path(self.installer))
        self.assertEqual(report["cmdline"], expected)
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_arguments_arrive_intact(self):
        base = windows_path(self.base) + "\\"   # a base directory ending in a backslash
        passed = ["two words", 'say "hi"', "C:\\trail\\", 'x" "-injected', "\\\\share\\"]
        result = self.run_installer("-silent", "-noconsole", "-nowait",
                                    "-J-Djava.io.tmpdir=" + base, *passed)
        self.assertEqual(result.returncode, 0, result.stderr)
        report = support.read_report(self.report)
        extract = report["cwd"][:-len("\\Disk1")]
        self.assertEqual(report["args"], [
            "-Djava.io.tmpdir=" + base,
            "-Dsfx.installer.launcher.home=" + windows_path(self.home),
            "-Dsfx.extract.path=" + extract,
            "-Dsfx.exe=" + windows_path(self.installer),
            "-jar", "install\\installer.jar", "-silent", "-noconsole", "-nowait", *passed])
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_installer_exit_code_555_counts_as_not_launched(self):
        result = self.run_installer("-silent", "-noconsole",
                                    "-J-Djava.io.tmpdir=" + windows_path(self.base),
                                    exit_code=555)
        self.assertEqual(result.returncode, 555 & 0xFF)
        self.assertIn("ERROR: Cannot launch the installer (555)", result.stderr)
        # launchFailed: no "Press any key" prompt even without -nowait.
        self.assertNotIn("Press any key", result.stderr)
        self.assertEqual(support.extraction_dirs(self.base), [])

    def test_debug_keeps_the_extraction_directory(self):
        result = self.run_installer("-silent", "-noconsole", "-nowait", "-debug",
                                    "-J-Djava.io.tmpdir=" + windows_path(self.base))
        self.assertEqual(result.returncode, 0, result.stderr)
        kept = support.extraction_dirs(self.base)
        self.assertEqual(len(kept), 1)
        self.assertTrue((self.base / kept[0] / COMPONENT / "jdk" / "jre" / "bin" /
                         "java.exe").is_file())


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--sfx", required=True)
    parser.add_argument("--java", required=True)
    parser.add_argument("--pack", required=True)
    OPTIONS, rest = parser.parse_known_args()
    if not Path(OPTIONS.pack).is_file():
        print("skipped: %s is missing (build the linux preset first)" % OPTIONS.pack)
        sys.exit(77)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
