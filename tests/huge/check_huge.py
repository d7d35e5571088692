#!/usr/bin/env python3
"""Reads a mailbox of more than 4 GiB and checks counts, sizes and memory.

The file is sparse: a first message whose body is a hole of zero bytes that
runs past the 4 GiB mark, then a second message beyond it. The tool must read
it to the end, count both messages, give the first one its true size modulo
2^32 (the size counter is 32 bits wide), and keep its memory flat: its peak
resident memory, sampled while it reads, may grow by a few MiB at most from
half a second after the start to a second before the end.

usage: check_huge.py VARNAK [GIB]    (GIB: where the second message starts,
                                     in GiB, default 4.001; for trials only)
Exit status: 0 pass, 1 fail, 77 skipped (the temporary folder does not keep holes).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

FIRST = (b"From a!b Mon Jan  7 10:12:01 2002\n"
         b"Received: by test\n"
         b"Date: Mon, 7 Jan 2002 10:12:01 +0000\n"
         b"\n"
         b"start of a body that is mostly a hole\n")
SECOND_SEPARATOR = b"From c!d Tue Jan  8 10:12:01 2002\n"
SECOND = (b"\n\n" + SECOND_SEPARATOR +
          b"Date: Tue, 8 Jan 2002 10:12:01 +0000\n"
          b"\n"
          b"Body2\n")
# How much the peak resident memory may grow between a sample taken when
# start-up is over and little of the file has been read, and the last one.
MEMORY_MARGIN_KIB = 4096
SAMPLE_SECONDS = 0.05
SETTLE_SECONDS = 0.5
EXIT_SECONDS = 1.0
SKIP = 77


def build(path, second_at):
    """Writes the sparse mailbox; returns the first message's true size and
    the two sizes the tool must give."""
    with open(path, "wb") as out:
        out.write(FIRST)
        out.seek(second_at)
        out.write(SECOND)
    body_start = FIRST.index(b"\n\n") + 2
    from_at = second_at + 2  # the empty line before the separator is body
    rest_of_line = len(SECOND_SEPARATOR) - len(b"From ") - 1  # after the blank, without LF
    true_size = from_at - body_start + 4 + rest_of_line
    return true_size, (true_size % 2**32, len(b"Body2\n"))


def resident_peak(pid, program):
    """The high-water mark of the process's resident memory, in KiB, or None
    before it runs `program` (between fork and exec) or once it has exited."""
    try:
        if os.readlink(f"/proc/{pid}/exe") != program:
            return None
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def run(varnak, path):
    """Runs the tool, sampling its peak resident memory while it reads (a
    child's ru_maxrss would also count the memory of the Python process it
    was forked from). Returns stdout, stderr, status, the samples (time, KiB)
    and the seconds taken."""
    started = time.monotonic()
    samples = []
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        child = subprocess.Popen([varnak, "-terse", path], stdout=out, stderr=err,
                                 stdin=subprocess.DEVNULL)
        while child.poll() is None:
            peak = resident_peak(child.pid, os.path.realpath(varnak))
            if peak is not None:
                samples.append((time.monotonic(), peak))
            time.sleep(SAMPLE_SECONDS)
        out.seek(0)
        err.seek(0)
        return out.read(), err.read(), child.returncode, samples, time.monotonic() - started


def expected_rows(first_size, second_size):
    return (f"07\t01\t2002\t1\t{first_size}\n"
            f"08\t01\t2002\t2\t{first_size + second_size}\n").encode()


def check(label, varnak, path, sizes, failures):
    stdout, stderr, status, samples, seconds = run(varnak, path)
    size = os.path.getsize(path)
    print(f"{label}: {size} bytes read in {seconds:.1f} s")
    expected = expected_rows(*sizes)
    if stdout != expected or stderr != b"" or status != 0:
        failures.append(f"{label}: expected rows\n{expected.decode()}"
                        f"got (status {status})\n{stdout.decode(errors='replace')}"
                        f"stderr:\n{stderr.decode(errors='replace')}")
    return samples


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: check_huge.py VARNAK [GIB]")
    varnak = os.path.abspath(sys.argv[1])
    second_at = int(float(sys.argv[2]) * 2**30) if len(sys.argv) == 3 else 4 * 2**30 + 2**20
    work = tempfile.mkdtemp(prefix="varnak-huge-")
    failures = []
    try:
        huge = os.path.join(work, "huge.mbox")
        true_size, sizes = build(huge, second_at)
        allocated = os.stat(huge).st_blocks * 512
        if allocated > 64 * 2**20:
            print(f"skipped: the file system of {work} does not keep holes "
                  f"({allocated} bytes allocated); not filling a disk")
            return SKIP
        small = os.path.join(work, "small.mbox")
        _, small_sizes = build(small, 1 << 16)
        check("small file of the same shape", varnak, small, small_sizes, failures)
        samples = check("sparse file", varnak, huge, sizes, failures)
        print(f"first message: true size {true_size} bytes, {sizes[0]} modulo 2^32")
        # The window runs from the end of start-up to a second before the
        # end: at exit the leak checker of a sanitizer build walks the heap
        # and raises the mark, whatever was read.
        window = []
        if samples:
            start, end = samples[0][0], samples[-1][0]
            window = [kib for at, kib in samples
                      if start + SETTLE_SECONDS <= at <= end - EXIT_SECONDS]
        if len(window) < 2:
            failures.append(f"the run was too short to sample its memory ({len(samples)} samples)")
        else:
            print(f"peak resident memory: {window[0]} KiB after {SETTLE_SECONDS} s, "
                  f"{window[-1]} KiB {EXIT_SECONDS} s before the end, {samples[-1][1]} KiB "
                  f"at the end ({len(samples)} samples)")
            if window[-1] - window[0] > MEMORY_MARGIN_KIB:
                failures.append("memory grows with the file read")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
