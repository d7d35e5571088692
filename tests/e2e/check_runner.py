#!/usr/bin/env python3
"""Checks run_case.py itself on small cases written here: that a missing
program skips a case with its reason, that a skip cannot hide a failure,
and that the case files keep their one form.

usage: check_runner.py VARNAK
Exit status: 0 pass, 1 fail.
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RUNNER = os.path.join(HERE, "run_case.py")

# (name, case text, environment changes, expected exit status, expected
# standard output of the runner; None where only the status matters)
CASES = [
    ("a missing program skips in the setup",
     "# d\n--- setup\nrequire_tool varnak-no-such-program\n--- run\necho ran\n",
     {}, 77, "skipped: needs varnak-no-such-program\n"),
    ("a missing program skips in the run, with its package",
     "# d\n--- run\nPATH=/nonexistent require_tool sh gnuplot\necho ran\n",
     {}, 77, "skipped: needs sh, gnuplot (Debian package gnuplot-nox)\n"),
    ("a file without execute permission is no program",
     "# d\n--- setup\n: > tool\n--- run\nPATH=$PWD:$PATH\nrequire_tool tool\n",
     {}, 77, "skipped: needs tool\n"),
    ("a present program lets the case run",
     "# d\n--- run\nrequire_tool sh\necho ran\n--- stdout\nran\n",
     {}, 0, ""),
    ("a failing case that checks a present program still fails",
     "# d\n--- run\nrequire_tool sh\necho ran\n--- stdout\nother\n",
     {}, 1, None),
    ("the reason is the last line on standard error",
     "# d\n--- run\necho out; printf 'first\\n  last reason  \\n\\n' >&2; exit 77\n",
     {}, 77, "skipped: last reason\n"),
    ("a skip without a word still says so",
     "# d\n--- run\nexit 77\n",
     {}, 77, "skipped: no reason given\n"),
    ("the helpers reach both sections, not the programs they start",
     "# d\n--- setup\nmbox box\n--- run\ntype -t message; wc -c < box\n"
     "bash -c 'type -t mbox || echo hidden'\n--- stdout\nfunction\n133\nhidden\n",
     {}, 0, ""),
    ("a missing corpus skips",
     "# d\n--- run\nrequire_corpus\necho ran\n",
     {}, 77, "skipped: needs the mail corpus in @ROOT@/shared/corpus, beside the project\n"),
    ("the fault library guard fails rather than skips",
     "# d\n--- run\npreload_faults\necho ran\n--- stdout\nran\n",
     {"FAULTS_LIB": None}, 1, None),
    ("a description is written as comments",
     "A plain line.\n--- run\ntrue\n",
     {}, 1, None),
    ("no case expects the skip status",
     "# d\n--- run\nexit 77\n--- status\n77\n",
     {}, 1, None),
]


def run(varnak, root, text, changes):
    case = os.path.join(root, "check.case")
    with open(case, "w") as out:
        out.write(text)
    env = dict(os.environ)
    for key, value in changes.items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    # The runner looks for the corpus beside SRC_DIR: root/src, root/shared.
    return subprocess.run([sys.executable, RUNNER, varnak, os.path.join(root, "src"), case],
                          capture_output=True, text=True, env=env, timeout=60)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_runner.py VARNAK")
    varnak = os.path.abspath(sys.argv[1])
    root = tempfile.mkdtemp(prefix="varnak-runner-")
    failures = 0
    try:
        os.mkdir(os.path.join(root, "src"))
        for name, text, changes, status, stdout in CASES:
            done = run(varnak, root, text, changes)
            expected = None if stdout is None else stdout.replace("@ROOT@", root)
            if done.returncode != status or (expected is not None and done.stdout != expected):
                failures += 1
                print(f"FAIL: {name}: expected status {status}"
                      + ("" if expected is None else f" and output {expected!r}")
                      + f", got {done.returncode} and {done.stdout!r}\n{done.stderr}")
        # With the corpus in place the same case runs.
        os.makedirs(os.path.join(root, "shared", "corpus"))
        done = run(varnak, root, "# d\n--- run\nrequire_corpus\necho ran\n--- stdout\nran\n", {})
        if done.returncode != 0:
            failures += 1
            print(f"FAIL: a present corpus lets the case run: {done.stdout}{done.stderr}")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print(f"{len(CASES) + 1} runner checks: {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
