# Helpers for the end-to-end cases. run_case.py has bash source this file
# before the setup and before the run of every case, so both sections can
# call these functions. It only defines functions and sets no shell options:
# the setup runs under "bash -e", the run without it.

# Ends the section as skipped: status 77, with the reason as the last line
# of standard error, which the runner prints as the case's one-line report.
# Call it at the top level of a section, not inside a pipeline or $(...),
# where it would only end a subshell.
skip() {
  printf '%s\n' "$*" >&2
  exit 77
}

# The Debian package that brings a program the tests use, for the skip
# reason; nothing for programs it does not know.
package_of() {
  case $1 in
    gnuplot) echo gnuplot-nox ;;
    faketime | libfaketime) echo faketime ;;
    valgrind) echo valgrind ;;
    man) echo man-db ;;
    mandoc) echo mandoc ;;
    groff) echo groff-base ;;
  esac
}

# require_tool NAME...: skips the case unless every NAME is a command here.
# A file without execute permission does not count, although bash's
# `command -v` names it when no executable one is found.
require_tool() {
  local tool found package missing=()
  for tool in "$@"; do
    found=$(command -v "$tool" 2> /dev/null) || found=
    if [ -z "$found" ] || { [[ $found == */* ]] && [ ! -x "$found" ]; }; then
      package=$(package_of "$tool")
      missing+=("$tool${package:+ (Debian package $package)}")
    fi
  done
  if [ ${#missing[@]} -ne 0 ]; then
    local reason=${missing[0]}
    for tool in "${missing[@]:1}"; do reason+=", $tool"; done
    skip "needs $reason"
  fi
}

# require_corpus: skips the case unless the mail corpus beside the project
# (CORPUS_DIR, set by the runner) is there.
require_corpus() {
  if [ -z "${CORPUS_DIR:-}" ] || [ ! -d "$CORPUS_DIR" ]; then
    skip "needs the mail corpus in ${CORPUS_DIR:-../shared/corpus}, beside the project"
  fi
}

# require_faketime: finds libfaketime and exports its path as FAKETIME_LIB,
# or skips the case. Cases preload the library themselves rather than run
# the faketime command, which leaves a semaphore and shared memory behind
# when it is killed, and that can break later runs.
require_faketime() {
  local candidate
  FAKETIME_LIB=
  for candidate in /usr/lib/*/faketime/libfaketime.so.1 /usr/lib/faketime/libfaketime.so.1; do
    if [ -f "$candidate" ] && [ -s "$candidate" ]; then
      FAKETIME_LIB=$candidate
      break
    fi
  done
  if [ -z "$FAKETIME_LIB" ]; then
    skip "needs libfaketime (Debian package $(package_of faketime))"
  fi
  export FAKETIME_LIB
}

# preload_faults: loads the fault-injection library (tests/faults) into
# every program the section starts from here on. The library is part of the
# build, so its absence is a failure, not a reason to skip.
preload_faults() {
  if [ -z "${FAULTS_LIB:-}" ] || [ ! -f "$FAULTS_LIB" ]; then
    echo "the fault library is not built: FAULTS_LIB is '${FAULTS_LIB:-}'" >&2
    exit 1
  fi
  export LD_PRELOAD=$FAULTS_LIB
}

# mbox FILE: writes the two-message mailbox that many cases count, the one
# of mailbox-worked-example: messages of 7 and 8 January 2002, of 36 and 6
# bytes, so a report over it reads 1/36 and then 2/42.
mbox() {
  printf 'From a!b Mon Jan  7 10:12:01 2002\nDate: Mon, 7 Jan 2002 10:12:01\n\nHi\n\nFrom c!d Tue Jan  8 10:12:01 2002\nDate: Tue, 8 Jan 2002\n\nBody2\n' > "$1"
}

# message FILE [DAY]: writes a mailbox of one message, sent on DAY (a single
# digit, 7 by default) January 2002, whose size is 3 bytes ("Hi" and its
# line end).
message() {
  local day=${2:-7}
  printf 'From a!b Mon Jan  %s 10:12:01 2002\nDate: Mon, %s Jan 2002 10:12:01 +0000\n\nHi\n' "$day" "$day" > "$1"
}

# Programs that the cases start are not cases: they must not source this.
unset BASH_ENV
