#!/usr/bin/env python3
"""Runs one end-to-end case: the real varnak binary on real files.

A case file holds sections, each opened by a line "--- NAME":

  --- setup     shell lines that build the input in a fresh temporary folder
  --- run       the shell command line to check; `varnak` is the built binary
  --- stdout    the exact standard output expected (empty when absent)
  --- stderr    the exact standard error expected (empty when absent)
  --- status    the exit status expected (0 when absent)

Lines before the first section describe the case, each as a comment that
begins with "#". Expected output ends with the line end of its last line;
"--- stdout noeol" drops that line end. In the expected texts, @OFFSET@
stands for the current year minus 50, the base the tool announces for
two-digit years, so that cases pass in any year; a case that needs a fixed
clock preloads libfaketime instead (require_faketime).

Both sections run in bash with the helpers of lib.sh (beside this file)
already sourced. A section that ends with status 77 skips the case: it
needs something this machine lacks (lib.sh's require_tool and friends say
what on their last line of standard error). The runner then prints that
reason on one line and exits 77, which CTest reports as skipped; 77 is
therefore no status a case can expect of its run.

With --wrapper "COMMAND ...", every `varnak` the case runs is started under
that command (valgrind, for instance).

The setup and the run see SRC_DIR (the project's root), CORPUS_DIR (the
shared mail corpus beside the project) and FAULTS_LIB (the fault-injection
library, set by CTest) in their environment.
"""

import difflib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

SECTION = re.compile(rb"^--- (setup|run|stdout|stderr|status)( noeol)?$")
SKIP = 77
LIB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lib.sh")


def parse_case(data):
    sections = {}
    name = None
    for number, line in enumerate(data.splitlines(keepends=True), 1):
        match = SECTION.match(line.rstrip(b"\n"))
        if name is None and not match and not line.startswith(b"#"):
            raise ValueError(f"line {number}: the description before the first section "
                             "is written as comment lines that begin with \"#\"")
        if match:
            name = match.group(1).decode()
            if name in sections:
                raise ValueError(f"section {name} appears twice")
            sections[name] = [b"", match.group(2) is not None]
        elif name is not None:
            sections[name][0] += line
    if "run" not in sections:
        raise ValueError("the case has no run section")
    texts = {}
    for key, (text, noeol) in sections.items():
        if noeol and text.endswith(b"\n"):
            text = text[:-1]
        texts[key] = text
    if texts.get("status", b"").strip() == str(SKIP).encode():
        raise ValueError(f"status {SKIP} is the runner's mark of a skipped case")
    return texts


def skip_reason(stderr):
    """The last line a section wrote to standard error: why it skipped."""
    lines = [line.strip() for line in stderr.decode(errors="replace").splitlines()]
    lines = [line for line in lines if line]
    return lines[-1] if lines else "no reason given"


def show(label, expected, actual):
    print(f"{label} differs:")
    diff = difflib.unified_diff(
        expected.decode("utf-8", "backslashreplace").splitlines(keepends=True),
        actual.decode("utf-8", "backslashreplace").splitlines(keepends=True),
        "expected", "actual")
    for line in diff:
        sys.stdout.write(line if line.endswith("\n") else line + "\\ (no line end)\n")


def wrap_binary(binary, wrapper, folder):
    """Puts a `varnak` into `folder` that runs the real one under `wrapper`."""
    script = os.path.join(folder, "varnak")
    with open(script, "w") as out:
        out.write(f"#!/bin/sh\nexec {wrapper} {shlex.quote(binary)} \"$@\"\n")
    os.chmod(script, 0o755)
    return folder


def main():
    args = sys.argv[1:]
    wrapper = None
    if len(args) == 5 and args[0] == "--wrapper":
        wrapper = args[1]
        args = args[2:]
    if len(args) != 3:
        sys.exit("usage: run_case.py [--wrapper COMMAND] VARNAK SRC_DIR CASE")
    binary, src_dir, case_path = (os.path.abspath(a) for a in args)
    case = parse_case(open(case_path, "rb").read())
    offset = str(time.localtime().tm_year - 50).encode()

    bin_dir = os.path.dirname(binary)
    if wrapper:
        bin_dir = wrap_binary(binary, wrapper, tempfile.mkdtemp(prefix="varnak-wrap-"))
    env = dict(os.environ)
    env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "")
    env["SRC_DIR"] = src_dir
    env["CORPUS_DIR"] = os.path.join(os.path.dirname(src_dir), "shared", "corpus")
    env["LC_ALL"] = "C"
    # Non-interactive bash sources this file before the section; lib.sh
    # unsets the variable again so that the programs a case starts do not.
    env["BASH_ENV"] = LIB
    # In an address-sanitizer build the allocator reads the clock while it
    # holds its lock; under faketime that read allocates and the run
    # deadlocks. Without periodic release to the system it never reads it.
    asan = env.get("ASAN_OPTIONS", "")
    env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "allocator_release_to_os_interval_ms=-1"

    work = tempfile.mkdtemp(prefix="varnak-e2e-")
    try:
        if "setup" in case:
            setup = subprocess.run(["bash", "-e", "-c", case["setup"].decode()], cwd=work,
                                   env=env, capture_output=True, timeout=300)
            if setup.returncode == SKIP:
                print("skipped: " + skip_reason(setup.stderr))
                return SKIP
            if setup.returncode != 0:
                print("setup failed:\n" + setup.stderr.decode(errors="replace"))
                return 1
        run = subprocess.run(["bash", "-c", case["run"].decode()], cwd=work, env=env,
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    finally:
        subprocess.run(["chmod", "-R", "u+rwx", work], capture_output=True)
        shutil.rmtree(work, ignore_errors=True)
        if wrapper:
            shutil.rmtree(bin_dir, ignore_errors=True)

    if run.returncode == SKIP:
        print("skipped: " + skip_reason(run.stderr))
        return SKIP
    failed = False
    for stream, actual in (("stdout", run.stdout), ("stderr", run.stderr)):
        expected = case.get(stream, b"").replace(b"@OFFSET@", offset)
        if expected != actual:
            show(stream, expected, actual)
            failed = True
    expected_status = int(case.get("status", b"0").strip() or 0)
    if run.returncode != expected_status:
        print(f"exit status: expected {expected_status}, got {run.returncode}")
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
