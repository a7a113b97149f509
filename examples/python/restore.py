#!/usr/bin/env python3
"""A Python host of the decomprima library, through ctypes.

    python3 restore.py CODE_FILE RESTORED_FILE          # in this process
    python3 restore.py --isolated CODE_FILE RESTORED_FILE

decomprima() ends the whole calling process when the code file is invalid
(exit status 4 or 5) or memory runs out (3): Python cannot catch that. A
host that must survive an untrusted code file calls restore_isolated(),
which runs the call in a child process and returns the child's status.

The library is loaded by its SONAME, libdecomprima.so.1, as the dynamic
linker finds it; the DECOMPRIMA_LIBRARY environment variable names another
file instead.
"""
import ctypes
import os
import multiprocessing
import sys

LIBRARY = os.environ.get("DECOMPRIMA_LIBRARY", "libdecomprima.so.1")

RESULTS = {
    0: "restored",
    1: "the code file could not be opened or read",
    2: "the restored file could not be created or written completely",
    3: "out of memory for the dictionary",
    4: "invalid code file",
    5: "dictionary overflow",
}

_decomprima = None


def _function():
    global _decomprima
    if _decomprima is None:
        function = ctypes.CDLL(LIBRARY, use_errno=True).decomprima
        function.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        function.restype = ctypes.c_int
        _decomprima = function
    return _decomprima


def restore(code_path, restored_path):
    """Restores restored_path from code_path in this process.

    Returns 0, 1 or 2; after 1 or 2, ctypes.get_errno() tells why where the
    system said so. An invalid code file ends the process (3, 4, 5).
    Paths may be str, bytes or os.PathLike.
    """
    return _function()(os.fsencode(code_path), os.fsencode(restored_path))


def _restore_in_child(library, code_path, restored_path):
    global LIBRARY
    LIBRARY = library
    sys.exit(restore(code_path, restored_path))


def restore_isolated(code_path, restored_path):
    """Restores in a child process, so that a fatal stop ends only the child.

    Returns the child's exit status: 0, 1 or 2 as restore() returns them,
    3, 4 or 5 for a fatal stop. The child's stderr, where the library
    writes its message, is this process's stderr.
    """
    # "spawn" starts a fresh interpreter: a forked child of a host with
    # threads could inherit a lock some other thread was holding.
    child = multiprocessing.get_context("spawn").Process(
        target=_restore_in_child,
        args=(LIBRARY, os.fsencode(code_path), os.fsencode(restored_path)),
    )
    child.start()
    child.join()
    if child.exitcode < 0:
        raise RuntimeError(f"restoring child killed by signal {-child.exitcode}")
    return child.exitcode


def main(argv):
    isolated = len(argv) == 4 and argv[1] == "--isolated"
    if len(argv) != 3 and not isolated:
        sys.stderr.write("usage: restore.py [--isolated] CODE_FILE RESTORED_FILE\n")
        return 64
    code_path, restored_path = argv[-2:]
    if isolated:
        result = restore_isolated(code_path, restored_path)
    else:
        result = restore(code_path, restored_path)  # returns only 0, 1 or 2
    if result != 0:
        why = RESULTS.get(result, "unknown status")
        if not isolated and ctypes.get_errno() != 0:
            why += ": " + os.strerror(ctypes.get_errno())
        sys.stderr.write(f"restore.py: {why} ({result})\n")
    return result


if __name__ == "__main__":
    sys.exit(main(sys.argv))
