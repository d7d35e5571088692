#!/usr/bin/env python3
"""Runs varnak over the shared corpus of real mailboxes and compares the
results with the golden files kept beside this script.

Each corpus file, and the corpus folder as a whole, is run with every
direction (-all, -sent, -rcvd), each with and without -terse, under a fixed
clock so that years written with two digits are completed the same way in
any year. The corpus belongs to its authors, so a golden file keeps nothing
of its text: only the report's rows (dates and numbers), the number of
output lines of each kind, the exit status and SHA-256 digests of standard
output and standard error. A directory scan follows the file system's
listing order, which differs between machines, so for the folder the digests
are taken over the sorted lines.

Besides the goldens, every run is held to what holds for any input: exit
status 0; under -terse nothing but rows on standard output; without it
nothing on standard error; the same rows with and without -terse; the same
warnings whatever the direction; and the totals of -all equal to those of
-sent plus -rcvd.

usage: check_corpus.py VARNAK CORPUS_DIR GOLDEN_DIR [--only files|folder] [--update]

--update rewrites the golden files from the current tool; check the new
ones by hand against the corpus before committing them.
Exit status: 0 pass, 1 fail, 77 skipped (no corpus, or no libfaketime).
"""

import argparse
import difflib
import glob
import hashlib
import os
import re
import subprocess
import sys

SKIP = 77
CLOCK = "2026-12-01 12:00:00"
DIRECTIONS = ("-all", "-sent", "-rcvd")
MODES = ("", "-terse")
FOLDER_GOLDEN = "whole-corpus.golden"
ROW = re.compile(rb"^\d\d\t\d\d\t\d{4}\t\d+\t\d+$")
# Line kinds by their fixed beginning (or whole text).
PREFIXES = (
    (b"Doing years ", "run message"),
    (b"Counting ", "run message"),
    (b"Any years <1000 will be assumed offset from ", "run message"),
    (b"Unable to read file ", "unable to read file"),
    (b"Unable to read directory ", "unable to read directory"),
    (b"Header too long: ", "header too long"),
    (b"Missing Date: ignoring message (", "missing date"),
    (b"Malformed Date: \"", "malformed date"),
)
WARNING_KINDS = ("unable to read file", "unable to read directory", "header too long",
                 "missing date", "malformed date", "year out of range")
YEAR_WARNING = re.compile(rb"^Year -?\d+ out of range\.\.\. ignoring message \(")


def kind_of(line, cwd):
    if ROW.match(line):
        return "row"
    if line == b"---":
        return "report separator"
    if line == b"day\tmonth\tyear\tc.num\tc.size":
        return "report header"
    if line == b"":
        return "empty line"
    for prefix, kind in PREFIXES:
        if line.startswith(prefix):
            return kind
    if YEAR_WARNING.match(line):
        return "year out of range"
    path = os.path.join(cwd, os.fsdecode(line))
    if line.endswith(b"/") and os.path.isdir(path):
        return "directory banner"
    if os.path.isfile(path):
        return "path line"
    return "unrecognised"


def lines_of(data):
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    return lines


def digest(data, sort_lines):
    if sort_lines:
        data = b"\n".join(sorted(lines_of(data)))
    return hashlib.sha256(data).hexdigest()


def faketime_library():
    """libfaketime itself. The faketime command is not used: it keeps a
    semaphore and a shared-memory segment named after its process id, and one
    left behind by a killed run makes a later run with the same id fail."""
    found = sorted(path for path in glob.glob("/usr/lib/*/faketime/libfaketime.so.1") +
                   glob.glob("/usr/lib/faketime/libfaketime.so.1")
                   if os.path.isfile(path) and os.path.getsize(path) > 0)
    return found[0] if found else None


def clock_environment(library):
    env = dict(os.environ, LC_ALL="C", TZ="UTC", FAKETIME="@" + CLOCK)
    preload = env.get("LD_PRELOAD", "")
    env["LD_PRELOAD"] = library + (":" + preload if preload else "")
    # In a build with the address sanitizer, its allocator reads the clock
    # while holding its lock; under libfaketime that read allocates, and the
    # run deadlocks. Without periodic release to the system it never reads it.
    asan = env.get("ASAN_OPTIONS", "")
    env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "allocator_release_to_os_interval_ms=-1"
    return env


def clock_problem(varnak, env):
    """Proves that the clock is faked for this binary, with a year other than
    the goldens' (which may well be the real one)."""
    trial = dict(env, FAKETIME="@2031-05-01 12:00:00")
    done = subprocess.run([varnak, "/dev/null"], capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=120, env=trial)
    if b"Any years <1000 will be assumed offset from 1981\n" not in done.stdout:
        return ("the clock could not be faked: under FAKETIME=@2031-05-01 the tool did not "
                "announce 1981 as its offset")
    return None


def run(varnak, cwd, target, direction, mode, env):
    command = [varnak, direction] + ([mode] if mode else []) + [target]
    done = subprocess.run(command, cwd=cwd, capture_output=True, stdin=subprocess.DEVNULL,
                          timeout=120, env=env)
    return done.stdout, done.stderr, done.returncode


class Record:
    """One run, as the golden file keeps it."""

    def __init__(self, label, direction, terse, output, cwd, sort_lines):
        stdout, stderr, status = output
        self.label = label
        self.direction = direction
        self.terse = terse
        self.status = status
        self.kinds = {}
        for stream, data in (("stdout", stdout), ("stderr", stderr)):
            for line in lines_of(data):
                key = (stream, kind_of(line, cwd))
                self.kinds[key] = self.kinds.get(key, 0) + 1
        self.rows = [line.decode() for line in lines_of(stdout) if ROW.match(line)]
        self.stdout_tail = not stdout or stdout.endswith(b"\n")
        self.digests = (digest(stdout, sort_lines), digest(stderr, sort_lines))
        self.sort_lines = sort_lines
        # Kept for the failure report only, never for a golden file.
        self.stderr_head = lines_of(stderr)[:10]

    def text(self):
        out = [f"[{self.label}]", f"status {self.status}"]
        for (stream, kind), count in sorted(self.kinds.items()):
            out.append(f"{stream} {kind}: {count}")
        out.extend("row " + row for row in self.rows)
        what = "sorted lines" if self.sort_lines else "whole"
        out.append(f"stdout sha256 ({what}) {self.digests[0]}")
        out.append(f"stderr sha256 ({what}) {self.digests[1]}")
        return "\n".join(out) + "\n"

    def count(self, stream, kind):
        return self.kinds.get((stream, kind), 0)

    def warnings(self):
        """Warning counts by kind, whichever stream they went to."""
        found = {}
        for (_, kind), count in self.kinds.items():
            if kind in WARNING_KINDS or kind == "unrecognised":
                found[kind] = found.get(kind, 0) + count
        return found


def totals(record):
    if not record.rows:
        return 0, 0
    fields = record.rows[-1].split("\t")
    return int(fields[3]), int(fields[4])


def invariant_failures(records):
    """What must hold for any input, whatever the goldens say."""
    failures = []
    for record in records.values():
        if record.status != 0:
            failures.append(f"{record.label}: exit status {record.status}")
        terse = record.terse
        stdout_kinds = {kind for stream, kind in record.kinds if stream == "stdout"}
        if terse and stdout_kinds - {"row"}:
            failures.append(f"{record.label}: standard output holds more than rows: "
                            f"{sorted(stdout_kinds - {'row'})}")
        if not terse and any(stream == "stderr" for stream, _ in record.kinds):
            failures.append(f"{record.label}: standard error is not empty without -terse")
        if not record.stdout_tail:
            failures.append(f"{record.label}: standard output does not end with a line end")
    by_run = {(record.direction, record.terse): record for record in records.values()}
    for mode in (False, True):
        warnings = {d: by_run[(d, mode)].warnings() for d in DIRECTIONS}
        if warnings["-sent"] != warnings["-all"] or warnings["-rcvd"] != warnings["-all"]:
            failures.append(f"warnings differ between directions: {warnings}")
        all_count, all_bytes = totals(by_run[("-all", mode)])
        sent_count, sent_bytes = totals(by_run[("-sent", mode)])
        rcvd_count, rcvd_bytes = totals(by_run[("-rcvd", mode)])
        if (all_count, all_bytes) != (sent_count + rcvd_count, sent_bytes + rcvd_bytes):
            failures.append(f"-all totals {all_count} messages, {all_bytes} bytes; -sent "
                            f"{sent_count}/{sent_bytes} plus -rcvd {rcvd_count}/{rcvd_bytes}")
    for direction in DIRECTIONS:
        if by_run[(direction, False)].rows != by_run[(direction, True)].rows:
            failures.append(f"{direction}: the rows differ with and without -terse")
    return failures


def check_target(varnak, cwd, target, label, sort_lines, env):
    """Runs one target every way; returns the golden text, the invariant
    failures and the runs."""
    records = {}
    for direction in DIRECTIONS:
        for mode in MODES:
            output = run(varnak, cwd, target, direction, mode, env)
            run_label = " ".join([label, direction] + ([mode] if mode else []))
            records[run_label] = Record(run_label, direction, bool(mode), output, cwd, sort_lines)
    text = "".join(record.text() for record in records.values())
    return text, invariant_failures(records), records


def show_changed_runs(golden_dir, name, records):
    """After a mismatch: the first lines of standard error of each run whose
    block changed, to tell the tool's own words from anything else that
    wrote there (this goes to the test log, never into a golden file)."""
    path = os.path.join(golden_dir, name)
    golden = open(path).read() if os.path.exists(path) else ""
    for record in records.values():
        if record.text() not in golden and record.stderr_head:
            print(f"standard error of [{record.label}] begins:")
            for line in record.stderr_head:
                print("  " + line.decode("utf-8", "backslashreplace"))


def golden_totals(text):
    """From a golden text: per run (direction, terse), the final count and
    byte total and the warning counts."""
    found = {}
    for block in text.split("\n[")[0:]:
        lines = block.lstrip("[").splitlines()
        label = lines[0].rstrip("]").split(" ")
        key = (label[1], label[-1] == "-terse")
        rows = [line for line in lines if line.startswith("row ")]
        count, size = (int(rows[-1].split("\t")[3]), int(rows[-1].split("\t")[4])) if rows else (0, 0)
        warnings = {}
        for line in lines:
            match = re.match(r"^std(?:out|err) ([a-z ]+): (\d+)$", line)
            if match and match.group(1) in WARNING_KINDS:
                warnings[match.group(1)] = warnings.get(match.group(1), 0) + int(match.group(2))
        found[key] = (count, size, warnings)
    return found


def folder_failures(folder_text, golden_dir, names):
    """The folder holds the files and nothing else, so its totals and its
    warnings must be the sums of those in the files' goldens."""
    sums = {}
    for name in names:
        path = os.path.join(golden_dir, name)
        if not os.path.exists(path):
            return [f"no golden file {name} to add up"]
        for key, (count, size, warnings) in golden_totals(open(path).read()).items():
            total = sums.setdefault(key, [0, 0, {}])
            total[0] += count
            total[1] += size
            for kind, number in warnings.items():
                total[2][kind] = total[2].get(kind, 0) + number
    failures = []
    for key, (count, size, warnings) in golden_totals(folder_text).items():
        expected = sums.get(key, [0, 0, {}])
        if (count, size, warnings) != tuple(expected):
            failures.append(f"folder run {' '.join(key[0:1])}{' -terse' if key[1] else ''} "
                            f"gives {count} messages, {size} bytes, warnings {warnings}; "
                            f"its files' goldens add up to {expected[0]}, {expected[1]}, "
                            f"{expected[2]}")
    return failures


def golden_name(relative):
    return relative.replace(os.sep, "__") + ".golden"


def corpus_files(corpus):
    found = []
    for folder, dirs, files in os.walk(corpus):
        dirs.sort()
        for name in sorted(files):
            found.append(os.path.relpath(os.path.join(folder, name), corpus))
    return found


def compare(golden_dir, name, actual, update):
    """Returns True when the golden file matches (or was rewritten)."""
    path = os.path.join(golden_dir, name)
    expected = open(path).read() if os.path.exists(path) else None
    if expected == actual:
        return True
    if update:
        with open(path, "w") as out:
            out.write(actual)
        print(f"{'rewrote' if expected is not None else 'wrote'} {name}")
        return True
    if expected is None:
        print(f"FAIL: no golden file {name}")
        expected = ""
    else:
        print(f"FAIL: {name} differs:")
    for line in difflib.unified_diff(expected.splitlines(keepends=True),
                                     actual.splitlines(keepends=True),
                                     "golden/" + name, "actual"):
        sys.stdout.write(line)
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("varnak")
    parser.add_argument("corpus")
    parser.add_argument("golden")
    parser.add_argument("--only", choices=("files", "folder"))
    parser.add_argument("--update", action="store_true")
    parser.add_argument("--range-bytes", type=int,
                        help="read each file in ranges of this many bytes (several threads)")
    args = parser.parse_args()
    varnak = os.path.abspath(args.varnak)
    corpus = os.path.abspath(args.corpus)
    golden_dir = os.path.abspath(args.golden)
    if not os.path.isdir(corpus):
        print(f"skipped: needs the mail corpus in {corpus} (../shared/corpus, beside "
              "the project)")
        return SKIP
    library = faketime_library()
    if library is None:
        # The goldens complete two-digit years around a fixed clock; the real
        # one would give other rows, not a fault of the tool.
        print(f"skipped: needs libfaketime (Debian package faketime) to set the clock to {CLOCK}")
        return SKIP
    env = clock_environment(library)
    if args.range_bytes:
        env["VARNAK_RANGE_BYTES"] = str(args.range_bytes)
    problem = clock_problem(varnak, env)
    if problem:
        print("FAIL: " + problem)
        return 1

    failures = 0
    checked = 0
    targets = []
    if args.only != "folder":
        targets += [(rel, golden_name(rel), False) for rel in corpus_files(corpus)]
    if args.only != "files":
        targets.append((".", FOLDER_GOLDEN, True))
    expected_names = {name for _, name, _ in targets}
    file_goldens = [golden_name(rel) for rel in corpus_files(corpus)]
    for relative, name, is_folder in targets:
        text, broken, records = check_target(varnak, corpus, relative, relative, is_folder, env)
        if is_folder:
            broken += folder_failures(text, golden_dir, file_goldens)
        checked += 1
        for failure in broken:
            print(f"FAIL: {relative}: {failure}")
        if not compare(golden_dir, name, text, args.update) or broken:
            failures += 1
            if not args.update:
                show_changed_runs(golden_dir, name, records)
    if args.only is None or args.only == "files":
        stale = sorted(name for name in os.listdir(golden_dir)
                       if name.endswith(".golden") and name not in expected_names
                       and name != FOLDER_GOLDEN) if os.path.isdir(golden_dir) else []
        for name in stale:
            if args.update:
                os.remove(os.path.join(golden_dir, name))
                print(f"removed {name}: no such corpus file any more")
            else:
                print(f"FAIL: golden file {name} has no corpus file any more")
                failures += 1
    print(f"{checked} corpus targets checked, 6 runs each: {failures} failed")
    if failures and not args.update:
        print("After checking the new results by hand, rewrite the goldens with: "
              f"{sys.argv[0]} VARNAK {args.corpus} {args.golden} --update")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
