#!/usr/bin/env python3
"""How `opkit-host run` copes with a long script: peak resident memory, wall time, and the time
to its first call line, for generated scripts of the given sizes in megabytes.

    python3 bench/stream.py build/native/opkit-host [10 40]

The script repeats a realistic mix (variables set, a CMP_INT and a TRANMSG call, their
expectations). Each size runs twice: as `run` does by default, which checks the whole text
before anything runs (so the first call line comes after that check), and with `--stream`,
which runs each line as it is read. The peak memory is that of the child process
(getrusage)."""

import os
import resource
import subprocess
import sys
import tempfile
import time

MIX = ['set 3 "12"', 'set 4 "9"', 'call CMP_INT left=3 relation=GE right=4 mode=S',
       'expect result 1', 'call "10TRANMSG N "', 'expect transaction off']


def write_script(path, megabytes):
    block = "\n".join(MIX * 1000) + "\n"
    with open(path, "w", encoding="ascii") as f:
        for _ in range(max(1, megabytes * 1024 * 1024 // len(block))):
            f.write(block)


def measure(tool, path, flags):
    """(wall seconds, seconds to the first call line, peak KB) of one run in its own child."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read)
        os.dup2(write, 1)
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 2)
        os.execv(tool, [tool, "run", *flags, path])
    os.close(write)
    start = time.monotonic()
    first = None
    with os.fdopen(read, "rb") as out:
        for line in out:
            if first is None and b"=>" in line:
                first = time.monotonic() - start
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - start
    if status != 0:
        raise SystemExit(f"{tool} run {path} failed with status {status}")
    return wall, first, usage.ru_maxrss


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    tool = argv[1]
    sizes = [int(a) for a in argv[2:]] or [10, 40]
    print(f"{'script':>10}{'mode':>10}{'wall s':>9}{'first call s':>14}{'peak MB':>9}")
    with tempfile.TemporaryDirectory() as folder:
        for megabytes in sizes:
            path = os.path.join(folder, f"stream{megabytes}.txt")
            write_script(path, megabytes)
            size = os.path.getsize(path) / 1024 / 1024
            for mode, flags in (("checked", []), ("--stream", ["--stream"])):
                wall, first, peak = measure(tool, path, flags)
                print(f"{size:>8.1f}MB{mode:>10}{wall:>9.2f}{first:>14.3f}{peak / 1024:>9.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
