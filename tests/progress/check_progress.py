#!/usr/bin/env python3
"""The progress line, checked on a pseudo-terminal.

varnak reads a mailbox that a pipe delivers slowly, so that the run lasts
about three seconds, with standard error (and in one run standard output
too) on a pseudo-terminal of 60 columns. The bytes the terminal gets are
played on a small model of a terminal's screen (carriage return, line end,
characters written over what stands there), and the checks are:

  - the line appears, reads like a progress line, and is never as wide as
    the terminal (so it never wraps);
  - the report on standard output, redirected to a file, is byte for byte
    that of the same run without a terminal;
  - every warning on standard error, and where standard output is the
    terminal too every line the run prints, stands whole on the screen,
    exactly as without a terminal;
  - nothing is left on the terminal's line at the end;
  - with -noprogress, the terminal gets nothing at all.

Usage: check_progress.py VARNAK. Exits 77 (skipped) where no
pseudo-terminal can be opened.
"""

import fcntl
import os
import pty
import re
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

SKIP = 77
COLUMNS = 60
LINE = re.compile(r"^[0-9.]+ [kMGTPE]?B  [0-9,]+ files?  [0-9,]+ messages?(  [0-9.]+ [kMGTPE]?B/s)?")


def mailbox():
    """Messages on many days, about 6 MB; every 500th has no date, for a
    warning now and then."""
    parts = []
    for i in range(6000):
        day = i % 28 + 1
        date = f"Date: {day} Feb 2010 10:00:00 +0000\n" if i % 500 != 7 else ""
        parts.append(f"From a!b Mon Feb {day:2d} 10:00:00 2010\n{date}\n")
        parts.append(f"line {i} of the body\n" * 40 + "\n")
    return "".join(parts).encode()


def feed_slowly(pipe, data, seconds):
    """Writes `data` to `pipe` in pieces spread over `seconds`, then closes it."""
    pieces = 60
    step = (len(data) + pieces - 1) // pieces
    for k in range(0, len(data), step):
        try:
            os.write(pipe, data[k:k + step])
        except BrokenPipeError:
            break
        time.sleep(seconds / pieces)
    os.close(pipe)


def run(varnak, options, data, stdout_on_terminal, seconds):
    """Runs varnak on `data` read from a slow pipe, standard error on a
    pseudo-terminal. Returns (standard output, bytes the terminal got, status)."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, COLUMNS, 0, 0))
    read_end, write_end = os.pipe()
    with tempfile.TemporaryFile() as out:
        child = subprocess.Popen([varnak] + options + ["/dev/stdin"], stdin=read_end,
                                 stdout=slave if stdout_on_terminal else out, stderr=slave,
                                 env=dict(os.environ, LC_ALL="C"))
        os.close(read_end)
        os.close(slave)
        writer = threading.Thread(target=feed_slowly, args=(write_end, data, seconds))
        writer.start()
        terminal = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # EIO: every holder of the slave side is gone
                break
            if not chunk:
                break
            terminal += chunk
        status = child.wait()
        writer.join()
        os.close(master)
        out.seek(0)
        return out.read(), terminal, status


def without_terminal(varnak, options, data):
    result = subprocess.run([varnak] + options + ["/dev/stdin"], input=data, capture_output=True,
                            env=dict(os.environ, LC_ALL="C"))
    return result.stdout, result.stderr, result.returncode


def screen(terminal):
    """The lines a terminal shows after `terminal`: the finished ones and the
    one the cursor stands on, and every text drawn over the current line (a
    stretch that a carriage return ends without a line end after it; the
    terminal turns each line end into CR LF)."""
    lines, current, column, drawn, stretch = [], [], 0, [], b""
    ended = None  # a stretch a carriage return has just ended
    for byte in terminal:
        if ended is not None and byte != ord("\n") and ended.strip():
            drawn.append(ended)
        ended = None
        if byte == ord("\r"):
            column, ended, stretch = 0, stretch, b""
        elif byte == ord("\n"):
            lines.append(bytes(current).rstrip(b" "))
            current, column, stretch = [], 0, b""
        else:
            if column < len(current):
                current[column] = byte
            else:
                current.extend(b" " * (column - len(current)))
                current.append(byte)
            column += 1
            stretch += bytes([byte])
    return lines, bytes(current), drawn


def check(failures, condition, what):
    if not condition:
        failures.append(what)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_progress.py VARNAK")
    varnak = sys.argv[1]
    try:
        os.close(pty.openpty()[0])
    except OSError as error:
        print(f"skipped: no pseudo-terminal here ({error})")
        return SKIP
    data = mailbox()
    failures = []

    # -terse, the report redirected to a file: the case the line is for.
    options = ["-terse", "-years=2010-2010"]
    expected_out, expected_err, expected_status = without_terminal(varnak, options, data)
    out, terminal, status = run(varnak, options, data, False, 3.0)
    lines, last, drawn = screen(terminal)
    check(failures, expected_err.count(b"Missing Date") == 12, "the plain run warns otherwise")
    check(failures, out == expected_out, "the report differs from the run without a terminal")
    check(failures, status == expected_status, f"exit status {status}")
    check(failures, drawn, "no progress line was drawn")
    for text in drawn:
        check(failures, LINE.match(text.decode(errors="replace")), f"not a progress line: {text!r}")
        check(failures, len(text) < COLUMNS, f"as wide as the terminal: {text!r}")
    check(failures, lines == expected_err.split(b"\n")[:-1],
          "the warnings on the terminal are not those of the run without one")
    check(failures, last.strip(b" ") == b"", f"left on the terminal's line: {last!r}")

    # Standard output on the same terminal: the lines stand whole.
    options = ["-years=2010-2010"]
    expected_out, _, _ = without_terminal(varnak, options, data)
    _, terminal, status = run(varnak, options, data, True, 3.0)
    lines, last, drawn = screen(terminal)
    check(failures, status == 0, f"exit status {status} with both streams on the terminal")
    check(failures, drawn, "no progress line drawn with both streams on the terminal")
    check(failures, lines == expected_out.split(b"\n")[:-1],
          "the lines on the terminal are not those of the run without one")
    check(failures, last.strip(b" ") == b"", f"left on the terminal's line: {last!r}")

    # -noprogress: on the terminal nothing but the warnings, as they are.
    _, terminal, status = run(varnak, ["-terse", "-noprogress", "-years=2010-2010"], data, False,
                              1.5)
    check(failures, status == 0 and terminal == expected_err.replace(b"\n", b"\r\n"),
          f"-noprogress wrote {terminal[:80]!r}")

    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("the progress line appears, keeps the report and leaves the terminal clean")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
