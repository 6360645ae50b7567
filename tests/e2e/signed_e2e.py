"""A branded Windows installer, signed after packing as a vendor signs it: the Authenticode
certificate table goes after the archive. Packed with quenlow-pack from the windows preset's
stub (the project's own icon and picture stand in for a vendor's), signed with osslsigncode
and a certificate made here with openssl. Checked: the image checksum of the packed file,
the signature verifies, the engine still finds the archive behind the signature, and under
Wine the installer runs (the stand-in java.exe's exit code comes through, the extraction
directory is removed). The Wine part skips where this kernel runs no 32-bit programs.

Usage: signed_e2e.py --sfx QUENLOW_SFX_EXE --java FAKE_JAVA_EXE --pack QUENLOW_PACK
                     --unzip QUENLOW_UNZIP
Exits with 77 (skipped) when the windows preset has not been built.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import e2e_support as support

OPTIONS = None
ART = Path(__file__).resolve().parents[2] / "src" / "launcher" / "ui" / "art"
COMPONENT = "runtime.jre"


def run(*command, **options):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True,
                          errors="replace", **options)


def wine_runs_32_bit_programs():
    try:
        return run("/usr/lib/wine/wine", "--version").returncode == 0
    except OSError:
        return False


def pe_checksum(data: bytes):
    """The stored and the computed image checksum: the 16-bit words summed with their
    carries folded back (the field itself as zero, an odd last byte padded with zero),
    plus the file's length. (osslsigncode drops an odd last byte, so it is no reference
    for files of odd length.)"""
    field = struct.unpack_from("<I", data, 60)[0] + 24 + 64
    words = data[:field] + bytes(4) + data[field + 4:] + bytes(len(data) % 2)
    total = 0
    for (word,) in struct.iter_unpack("<H", words):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return struct.unpack_from("<I", data, field)[0], total + len(data)


class SignedInstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(tempfile.mkdtemp(prefix="quenlow-signed-"))
        source = support.make_source(cls.root)
        runtime = cls.root / "runtime"
        (runtime / "bin").mkdir(parents=True)
        shutil.copyfile(OPTIONS.java, runtime / "bin" / "java.exe")
        support.zip_tree(runtime, support.component_dir(source, COMPONENT, "1.0") / "rt.jar")
        cls.packed = support.pack(
            Path(OPTIONS.pack), Path(OPTIONS.sfx), cls.root / "setup.exe", source,
            "--cmd", "bin\\java.exe -jar install\\installer.jar", "--jre-component", COMPONENT,
            "--icon", ART / "quenlow.ico", "--banner", ART / "picture.bmp",
            "--title", "Acme Setup", "--product-name", "Acme Studio",
            "--product-version", "2.1", "--company", "Acme Ltd")
        # The test certificate: a self-signed one allowed to sign code.
        cls.key = cls.root / "key.pem"
        cls.certificate = cls.root / "certificate.pem"
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                   "-subj", "/CN=Quenlow Test Signer", "-addext", "extendedKeyUsage=codeSigning",
                   "-keyout", cls.key, "-out", cls.certificate)
        assert made.returncode == 0, made.stderr
        cls.signed = cls.root / "setup-signed.exe"
        signed = run("osslsigncode", "sign", "-certs", cls.certificate, "-key", cls.key,
                     "-n", "Acme Studio", "-h", "sha256", "-in", cls.packed, "-out", cls.signed)
        assert signed.returncode == 0, signed.stdout + signed.stderr

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_packed_checksum_is_right_and_the_signature_verifies(self):
        stored, computed = pe_checksum(self.packed.read_bytes())
        self.assertEqual(stored, computed)
        verified = run("osslsigncode", "verify", "-CAfile", self.certificate, self.signed)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn("Signature verification: ok", verified.stdout)
        self.assertGreater(self.signed.stat().st_size, self.packed.stat().st_size)

    def test_archive_is_found_behind_the_signature(self):
        tested = run(OPTIONS.unzip, "test", self.signed)
        self.assertEqual(tested.returncode, 0, tested.stdout + tested.stderr)
        self.assertEqual(run(OPTIONS.unzip, "list", self.signed).stdout.replace(
            str(self.signed), ""), run(OPTIONS.unzip, "list", self.packed).stdout.replace(
            str(self.packed), ""))

    def test_signed_installer_runs_under_wine(self):
        if not wine_runs_32_bit_programs():
            self.skipTest("this kernel does not run 32-bit programs, so Wine cannot")
        work = Path(tempfile.mkdtemp(dir=self.root))
        base = work / "tmp"
        base.mkdir()
        environment = dict(os.environ, QUENLOW_TEST_EXIT="5",
                           QUENLOW_TEST_REPORT=support.windows_path(work / "report.txt"))
        environment.setdefault("WINEDEBUG", "-all")
        result = run("wine", self.signed, "-silent", "-noconsole", "-nowait",
                     "-J-Djava.io.tmpdir=" + support.windows_path(base), env=environment,
                     cwd=work, timeout=300)
        self.assertEqual(result.returncode, 5, result.stderr)
        self.assertTrue((work / "report.txt").is_file(), "the stand-in java.exe did not run")
        self.assertEqual(support.extraction_dirs(base), [])


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    for option in ("--sfx", "--java", "--pack", "--unzip"):
        parser.add_argument(option, required=True)
    OPTIONS, rest = parser.parse_known_args()
    for needed in (OPTIONS.sfx, OPTIONS.java):
        if not Path(needed).is_file():
            print("skipped: %s is missing (build the windows preset first)" % needed)
            sys.exit(77)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
