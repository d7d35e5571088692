#!/usr/bin/env python3
"""Holds reading on several threads to reading on one.

Builds random trees of random mailboxes, single messages, Maildirs,
compressed files and archives, then runs varnak over each under random
reading options, once with -jobs=1 and again with -jobs=2 ... 8 (with
ranges of random sizes, so that mailboxes are also read in ranges cut at
random points), and requires the same bytes every time: standard output, standard error, the
two together in one file, and the exit status. Both runs walk the same tree,
so whatever order the file system lists it in, they see the same.

usage: check_jobs.py VARNAK [--seed N] [--trees N]
"""

import argparse
import bz2
import gzip
import io
import lzma
import os
import random
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun",
          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
ADDRESSES = ["jane@example.com", "bob@example.org", "Me@Example.NET", "x@y"]


def date_value(rng):
    """A Date: value: mostly good, some malformed, some out of range."""
    roll = rng.random()
    if roll < 0.08:
        return "not a date at all"
    if roll < 0.12:
        return ""
    year = rng.choice([1969, 1999, 2002, 2003, 2017, 2030, 2200, 99, 5])
    return "%s, %d %s %d %02d:%02d:%02d +0000" % (
        rng.choice(DAYS), rng.randint(1, 31), rng.choice(MONTHS), year,
        rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59))


def separator(rng):
    who = rng.choice(ADDRESSES + ["MAILER-DAEMON"])
    if rng.random() < 0.1:
        # A list archive's separator, taken only under -lists.
        who = who.replace("@", " at ")
        return "From %s  Tue Jan  3 10:00:00 2017" % who
    return "From %s %s %s %2d 10:12:01 2002" % (
        who, rng.choice(DAYS), rng.choice(MONTHS), rng.randint(1, 28))


RECURRING_DATES = ["Mon, 7 Jan 2002 10:12:01 +0100", "Tue, 3 Jan 2017 10:00:00 -0500"]


def header_block(rng):
    lines = []
    if rng.random() < 0.7:
        lines.append("Received: from a by b; %s" % date_value(rng))
    if rng.random() < 0.9:
        # A few dates and IDs recur, so that some messages are copies of
        # others (-unique, and the repeats -summary counts).
        value = rng.choice(RECURRING_DATES) if rng.random() < 0.4 else date_value(rng)
        if rng.random() < 0.03:
            value = "x" * rng.randint(4000, 9000)  # longer than what is captured
        lines.append("Date: " + value)
    lines.append("From: %s" % rng.choice(ADDRESSES))
    if rng.random() < 0.2:
        lines.append("\t(folded) <%s>" % rng.choice(ADDRESSES))
    if rng.random() < 0.8:
        lines.append("Message-ID: <%d@example.com>" % rng.randint(0, 12))
    if rng.random() < 0.1:
        lines.append("X-Gmail-Labels: Sent")
    lines.append("Subject: test %d" % rng.randint(0, 10**6))
    return lines


def body(rng):
    lines = []
    for _ in range(rng.randint(0, 12)):
        roll = rng.random()
        if roll < 0.15:
            lines.append("")
        elif roll < 0.25:
            # A "From " line in a body, refused as a separator.
            lines.append("From the desk of %s" % rng.choice(ADDRESSES))
        elif roll < 0.3:
            lines.append(">From quoted")
        elif roll < 0.33:
            # After these alone an empty line is not yet taken as one: no
            # range may begin after them.
            lines.append(rng.choice(["F", "Fr", "Fro", "From"]))
        else:
            lines.append("word " * rng.randint(0, 15))
    return lines


def message(rng, with_separator):
    lines = [separator(rng)] if with_separator else []
    lines += header_block(rng) + [""] + body(rng)
    return lines


def mailbox_bytes(rng):
    lines = []
    if rng.random() < 0.1:
        lines.append("text before the first separator")
    for _ in range(rng.randint(0, 25)):
        lines += message(rng, True)
        lines.append("")
    end = "\r\n" if rng.random() < 0.2 else "\n"
    data = (end.join(lines) + end).encode()
    if rng.random() < 0.1:
        # A Ctrl-Z ends the data wherever it falls (and a file read in
        # ranges, every range after it).
        cut = rng.randint(0, len(data))
        data = data[:cut] + b"\x1a" + data[cut:]
    if rng.random() < 0.05:
        data = b"\n \t" + data
    return data


def one_message_bytes(rng):
    data = ("\n".join(message(rng, False)) + "\n").encode()
    if rng.random() < 0.2:
        # An .emlx file: the message's byte count on a line before it.
        data = b"%d\n" % len(data) + data + b"<?xml version=\"1.0\"?>\n"
    return data


def packed(rng, name, data):
    """`data` compressed or archived; returns (file name, bytes)."""
    kind = rng.choice(["gz", "bz2", "xz", "tar", "tgz", "zip"])
    if kind == "gz":
        return name + ".gz", gzip.compress(data)
    if kind == "bz2":
        return name + ".bz2", bz2.compress(data)
    if kind == "xz":
        return name + ".xz", lzma.compress(data)
    if kind == "zip":
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w") as archive:
            archive.writestr(name, data)
            archive.writestr("other", mailbox_bytes(rng))
        return name + ".zip", out.getvalue()
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w:gz" if kind == "tgz" else "w") as archive:
        for entry, content in ((name, data), ("sub/second", mailbox_bytes(rng))):
            info = tarfile.TarInfo(entry)
            info.size = len(content)
            archive.addfile(info, io.BytesIO(content))
    return name + "." + kind, out.getvalue()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def build_tree(rng, root):
    for i in range(rng.randint(1, 40)):
        folder = os.path.join(root, *rng.sample(["a", "b", "c", ".d", "e"], rng.randint(0, 2)))
        name = "f%d%s" % (i, rng.choice(["", ".mbx", ".eml"]))
        roll = rng.random()
        if roll < 0.55:
            data = mailbox_bytes(rng)
        elif roll < 0.7:
            data = one_message_bytes(rng)
        elif roll < 0.85:
            name, data = packed(rng, name, mailbox_bytes(rng))
        elif roll < 0.9:
            data = bytes(rng.randrange(256) for _ in range(rng.randint(0, 300)))
        else:
            maildir = os.path.join(folder, "md%d" % i)
            for sub in ("cur", "new", "tmp"):
                os.makedirs(os.path.join(maildir, sub), exist_ok=True)
            for k in range(rng.randint(0, 6)):
                sub = rng.choice(["cur", "new", "tmp"])
                write(os.path.join(maildir, sub, "%d.%d:2,S" % (i, k)), one_message_bytes(rng))
            continue
        write(os.path.join(folder, name), data)
    # A longer mailbox, read in many ranges, often with a Ctrl-Z in its
    # middle: what the ranges after it find must not count.
    lines = []
    for _ in range(rng.randint(30, 80)):
        lines += message(rng, True) + [""]
    data = ("\n".join(lines) + "\n").encode()
    if rng.random() < 0.5:
        cut = rng.randint(len(data) // 4, len(data) * 3 // 4)
        data = data[:cut] + b"\x1a" + data[cut:]
    write(os.path.join(root, "long.mbx"), data)
    if rng.random() < 0.3:
        os.symlink("..", os.path.join(root, "up"))
    if rng.random() < 0.3:
        os.symlink("missing", os.path.join(root, "dangling"))
    if rng.random() < 0.2:
        os.mkfifo(os.path.join(root, "fifo"))


def random_options(rng):
    options = [rng.choice(["-years=1970-2170", "-years=1995-2030", "-years=2002-2002"])]
    options += rng.sample(["-unpack", "-maildir", "-lists", "-summary", "-terse",
                           "-me=jane@example.com,x@y", "-sent", "-rcvd", "-unique",
                           "-exclude=*2*", "-noprogress"], rng.randint(0, 6))
    return options


def random_arguments(rng):
    return rng.choice([["tree"], ["tree/"], ["tree/*"], ["tree/f*"], ["tree", "tree/a"],
                       ["tree/a", "missing", "tree/b"], ["tree/*.mbx", "tree/c"]])


def run(varnak, cwd, arguments, range_bytes=None):
    """(stdout, stderr, both in one file, status) of one run."""
    env = dict(os.environ)
    if range_bytes is not None:
        env["VARNAK_RANGE_BYTES"] = str(range_bytes)
    separate = subprocess.run([varnak] + arguments, cwd=cwd, capture_output=True,
                              stdin=subprocess.DEVNULL, timeout=120, env=env)
    with tempfile.TemporaryFile() as both:
        status = subprocess.run([varnak] + arguments, cwd=cwd, stdout=both, stderr=both,
                                stdin=subprocess.DEVNULL, timeout=120, env=env).returncode
        both.seek(0)
        together = both.read()
    return separate.stdout, separate.stderr, together, (separate.returncode, status)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("varnak")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--trees", type=int, default=25)
    args = parser.parse_args()
    varnak = os.path.abspath(args.varnak)
    rng = random.Random(args.seed)
    failures = 0
    runs = 0
    for tree in range(args.trees):
        work = tempfile.mkdtemp(prefix="varnak-jobs-")
        try:
            build_tree(rng, os.path.join(work, "tree"))
            for _ in range(2):
                arguments = random_options(rng) + random_arguments(rng)
                reference = run(varnak, work, ["-jobs=1"] + arguments)
                for jobs in rng.sample(range(2, 9), 3):
                    runs += 1
                    range_bytes = rng.choice([None, 1, 5, 40, 300, 2000])
                    got = run(varnak, work, ["-jobs=%d" % jobs] + arguments, range_bytes)
                    failed = False
                    for what, want, have in zip(("stdout", "stderr", "stdout and stderr",
                                                 "status"), reference, got):
                        if want != have:
                            failed = True
                            where = "" if what == "status" else \
                                " (first difference at byte %d)" % first_difference(want, have)
                            print("tree %d (seed %d): -jobs=%d (ranges of %s bytes) %s: %s "
                                  "differs from -jobs=1%s"
                                  % (tree, args.seed, jobs, range_bytes, " ".join(arguments),
                                     what, where))
                    failures += failed
        finally:
            shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (runs - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
