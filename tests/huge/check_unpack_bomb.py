#!/usr/bin/env python3
"""Reads a gzip bomb with -unpack and checks counts, sizes and memory.

The bomb, made here and deleted after, is a mailbox of two messages whose
first body is a run of zero bytes (1 GiB by default), compressed by zlib at
its fastest into a few MiB. The tool must decode all of it, count both
messages with the first one's true size, and do so in the memory of any
other run: its peak resident memory may exceed that of the same run over a
small compressed mailbox by MARGIN_KIB at most and, in a build without
sanitizers, stays under LIMIT_KIB whatever it reads.

usage: check_unpack_bomb.py VARNAK [--sanitized] [MIB]
  --sanitized  the build carries sanitizers, whose own memory makes the
               absolute limit meaningless; the comparison still holds
  MIB          the length of the run of zeros, in MiB (default 1024)
Exit status: 0 pass, 1 fail.
"""

import os
import subprocess
import sys
import tempfile
import time
import zlib

FIRST = (b"From a!b Mon Jan  7 10:12:01 2002\n"
         b"Date: Mon, 7 Jan 2002 10:12:01 +0000\n"
         b"\n")
SECOND = (b"\n\nFrom c!d Tue Jan  8 10:12:01 2002\n"
          b"Date: Tue, 8 Jan 2002 10:12:01 +0000\n"
          b"\n"
          b"Body2\n")
LIMIT_KIB = 8192
MARGIN_KIB = 2048
CHUNK = 1 << 20
SETTLE_SECONDS = 1.0
SMALL_BODY = 4096


def write_gzip(path, parts, level=1):
    """Writes the gzip stream of the parts: bytes, or (byte, count) runs."""
    packer = zlib.compressobj(level, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    with open(path, "wb") as out:
        for part in parts:
            if isinstance(part, bytes):
                out.write(packer.compress(part))
                continue
            byte, count = part
            block = byte * CHUNK
            for _ in range(count // CHUNK):
                out.write(packer.compress(block))
            out.write(packer.compress(byte * (count % CHUNK)))
        out.write(packer.flush())


def peak_kib(pid):
    """The process's peak resident memory so far (VmHWM), in KiB."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    raise RuntimeError("no VmHWM in /proc/PID/status")


def run(varnak, path):
    """Runs varnak -unpack on the file's bytes, written to its standard input.

    Returns the exit status, the output and the peak memory in KiB. The peak
    is read just before the last bytes go in, while the process still runs
    (a child's own accounting would count the memory of the Python process
    it was forked from): by then the tool has decoded all but the bytes in
    the pipe.
    """
    with open(path, "rb") as packed:
        data = packed.read()
    process = subprocess.Popen([varnak, "-terse", "-unpack", "-years=2002-2002", "/dev/stdin"],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    process.stdin.write(data[:-1])
    process.stdin.flush()
    time.sleep(SETTLE_SECONDS)
    peak = peak_kib(process.pid)
    process.stdin.write(data[-1:])
    process.stdin.close()
    out, err = process.stdout.read(), process.stderr.read()
    return process.wait(), out + err, peak


def main():
    args = sys.argv[1:]
    sanitized = "--sanitized" in args
    args = [a for a in args if a != "--sanitized"]
    if not 1 <= len(args) <= 2:
        sys.exit(__doc__)
    varnak = args[0]
    zeros = (int(args[1]) if len(args) == 2 else 1024) << 20
    failed = False
    with tempfile.TemporaryDirectory(prefix="varnak-bomb-") as work:
        small = os.path.join(work, "small.gz")
        bomb = os.path.join(work, "bomb.gz")
        # The small file is stored, not compressed: its data must run past
        # the first 512 bytes the tool waits for before it decides what the
        # data is, so that by the time the peak is read (the last byte held
        # back) it has begun to decode, with libarchive loaded.
        write_gzip(small, [FIRST, (b"\0", SMALL_BODY), SECOND], level=0)
        write_gzip(bomb, [FIRST, (b"\0", zeros), SECOND])
        print(f"bomb: {zeros} zero bytes in {os.path.getsize(bomb)} bytes of gzip")
        peaks = {}
        for name, path, body in (("small", small, SMALL_BODY), ("bomb", bomb, zeros)):
            # The first message's size: its zeros and what the scanner
            # counts of the lines up to the next separator (34 bytes, as
            # in a plain file); the counter is 32 bits wide. The second
            # adds its 6 bytes.
            first = (body + 34) % (1 << 32)
            second = (first + 6) % (1 << 32)
            expected = (f"07\t01\t2002\t1\t{first}\n"
                        f"08\t01\t2002\t2\t{second}\n").encode()
            status, out, peak = run(varnak, path)
            peaks[name] = peak
            print(f"{name}: peak resident memory {peak} KiB")
            if status != 0 or out != expected:
                print(f"{name}: exit {status}\nexpected:\n{expected.decode()}"
                      f"got:\n{out.decode(errors='replace')}")
                failed = True
    if peaks["bomb"] > peaks["small"] + MARGIN_KIB:
        print(f"the bomb took {peaks['bomb'] - peaks['small']} KiB more than a small file "
              f"(at most {MARGIN_KIB})")
        failed = True
    if not sanitized and peaks["bomb"] > LIMIT_KIB:
        print(f"the bomb took {peaks['bomb']} KiB (at most {LIMIT_KIB})")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
