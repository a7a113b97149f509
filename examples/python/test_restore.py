#!/usr/bin/env python3
"""Tests of the Python host: restores through ctypes in this process, and
through restore_isolated() a code file that would end the process.

    DECOMPRIMA_LIBRARY=path/to/libdecomprima.so python3 test_restore.py

Standard library only; run by CTest as python_host.
"""
import ctypes
import errno
import os
import pathlib
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import restore  # noqa: E402  (after the path is set)

SAMPLE_CODES = HERE.parent / "sample.lzw"
SAMPLE_TEXT = HERE.parent / "sample.txt"


class captured_stderr:
    """Collects what this process and its children write to fd 2."""

    def __enter__(self):
        sys.stderr.flush()
        self.file = tempfile.TemporaryFile()
        self.saved = os.dup(2)
        os.dup2(self.file.fileno(), 2)
        return self

    def __exit__(self, *exc):
        sys.stderr.flush()
        os.dup2(self.saved, 2)
        os.close(self.saved)
        self.file.seek(0)
        self.bytes = self.file.read()
        self.file.close()


class RestoreTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.tmp = pathlib.Path(self.dir.name)

    def tearDown(self):
        self.dir.cleanup()

    def test_restores_sample_from_any_path_type(self):
        expected = SAMPLE_TEXT.read_bytes()
        for out in (self.tmp / "path.txt", str(self.tmp / "str.txt"), os.fsencode(self.tmp / "bytes.txt")):
            with self.subTest(type=type(out).__name__):
                self.assertEqual(restore.restore(SAMPLE_CODES, out), 0)
                self.assertEqual(pathlib.Path(os.fsdecode(out)).read_bytes(), expected)

    def test_unreadable_and_unwritable_paths_return_1_and_2(self):
        out = self.tmp / "out.txt"
        self.assertEqual(restore.restore(self.tmp / "missing.lzw", out), 1)
        self.assertEqual(ctypes.get_errno(), errno.ENOENT)
        self.assertFalse(out.exists())
        self.assertEqual(restore.restore(SAMPLE_CODES, self.tmp / "no" / "dir" / "out.txt"), 2)
        self.assertEqual(ctypes.get_errno(), errno.ENOENT)

    def test_isolated_restore_survives_invalid_code_file(self):
        bad = self.tmp / "bad.lzw"
        bad.write_bytes(b"\x41")  # first code is not 256
        out = self.tmp / "out.txt"
        with captured_stderr() as err:
            status = restore.restore_isolated(bad, out)
        self.assertEqual(status, 4)
        self.assertEqual(err.bytes, b"Fichier de codes invalide!\n")
        self.assertEqual(out.read_bytes(), b"")

        # This process is still here, and the next decode works.
        self.assertEqual(restore.restore_isolated(SAMPLE_CODES, out), 0)
        self.assertEqual(out.read_bytes(), SAMPLE_TEXT.read_bytes())


if __name__ == "__main__":
    unittest.main()
