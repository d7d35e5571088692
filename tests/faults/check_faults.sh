#!/usr/bin/env bash
# Checks that every fault of the injection library fires, on plain system
# programs, so that a failing end-to-end case points at the tool and a
# passing one cannot owe its success to a fault that was never injected.
set -euo pipefail
lib=${1:?usage: check_faults.sh LIBRARY}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

head -c 100000 /dev/zero | tr '\0' 'x' > data
mkdir -p tree/sub
touch tree/a tree/b tree/c tree/sub/d

# A read fails once 1000 bytes were delivered: dd copies exactly those.
# (dd, because cat may copy between regular files without read().)
if LD_PRELOAD=$lib VARNAK_FAULT_READ_PATH="*/data" VARNAK_FAULT_READ_AFTER=1000 \
   dd if=data of=copy bs=4096 status=none 2> err; then
  fail "dd read the whole file through a read fault"
fi
[ "$(wc -c < copy)" -eq 1000 ] || fail "read fault: $(wc -c < copy) bytes copied, expected 1000"
grep -q "Input/output error" err || fail "read fault: no I/O error reported: $(cat err)"
# Other files are untouched.
LD_PRELOAD=$lib VARNAK_FAULT_READ_PATH="*/other" dd if=data of=copy bs=4096 status=none
cmp -s data copy || fail "a read fault hit a file it does not name"

# opendir refused.
if LD_PRELOAD=$lib VARNAK_FAULT_OPENDIR="tree/sub" ls tree/sub > out 2> err; then
  fail "ls listed a directory whose opendir was refused"
fi
grep -q "Permission denied" err || fail "opendir fault: no refusal reported: $(cat err)"

# A listing that fails after two entries other than "." and "..".
LD_PRELOAD=$lib VARNAK_FAULT_READDIR="tree" VARNAK_FAULT_READDIR_AFTER=2 \
  ls -f tree > out 2> err || true
names=$(grep -cvE '^\.\.?$' out || true)
[ "$names" -eq 2 ] || fail "readdir fault: $names entries listed, expected 2"
grep -q "Input/output error" err || fail "readdir fault: no error reported: $(cat err)"

# An entry deleted as it is listed; a file deleted as it is opened.
LD_PRELOAD=$lib VARNAK_FAULT_VANISH_LISTED="tree/b" ls tree > /dev/null
[ ! -e tree/b ] || fail "tree/b survived its listing"
[ -e tree/a ] || fail "tree/a was deleted although it is not named"
if LD_PRELOAD=$lib VARNAK_FAULT_VANISH_OPENED="tree/c" cat tree/c 2> err; then
  fail "cat opened a file deleted before the open"
fi
[ ! -e tree/c ] || fail "tree/c survived its opening"
# The same for a file opened relative to its directory's descriptor, named
# by the directory's path and its own name.
touch tree/e tree/f
if LD_PRELOAD=$lib VARNAK_FAULT_VANISH_OPENED="tree/e" python3 -c '
import os
tree = os.open("tree", os.O_RDONLY | os.O_DIRECTORY)
os.close(os.open("f", os.O_RDONLY, dir_fd=tree))
os.open("e", os.O_RDONLY, dir_fd=tree)' 2> err; then
  fail "python opened a file deleted before the open relative to its directory"
fi
[ ! -e tree/e ] || fail "tree/e survived its opening relative to its directory"
[ -e tree/f ] || fail "tree/f was deleted although it is not named"

# A library that cannot be loaded: python's ctypes loads it with dlopen.
if LD_PRELOAD=$lib VARNAK_FAULT_DLOPEN="libz.so*" \
    python3 -c 'import ctypes; ctypes.CDLL("libz.so.1")' 2> err; then
  fail "a refused library was loaded"
fi
grep -q "libz.so.1: cannot open shared object file" err || fail "no loader message: $(cat err)"

# The log line that cases can use to prove a fault fired.
LD_PRELOAD=$lib VARNAK_FAULT_LOG=1 VARNAK_FAULT_OPENDIR="tree" ls tree > /dev/null 2> err || true
grep -q "^faults: refused listing of tree$" err || fail "no log line: $(cat err)"

if [ "$failures" -ne 0 ]; then
  echo "$failures fault(s) did not fire as expected"
  exit 1
fi
echo "every fault fired"
