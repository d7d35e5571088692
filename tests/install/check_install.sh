#!/bin/sh
# Installs a build folder into a temporary prefix and checks that varnak,
# varnak-plot and their manual pages are installed and work from there.
set -eu

if [ $# -ne 4 ]; then
  echo "usage: check_install.sh CMAKE BUILD_DIR SOURCE_DIR VERSION" >&2
  exit 2
fi
cmake=$1
build=$(cd "$2" && pwd)
src=$(cd "$3" && pwd)
version=$4

fail() {
  echo "check_install: $*" >&2
  exit 1
}

prefix=$(mktemp -d "${TMPDIR:-/tmp}/varnak-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1 ||
  { cat "$prefix.log" >&2; rm -f "$prefix.log"; fail "cmake --install failed"; }
rm -f "$prefix.log"

for program in bin/varnak bin/varnak-plot; do
  if [ ! -f "$prefix/$program" ] || [ ! -x "$prefix/$program" ]; then
    fail "$program is not installed as a program"
  fi
done
for file in share/man/man1/varnak.1 share/man/man1/varnak-plot.1 share/doc/varnak/README.md; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for page in varnak varnak-plot; do
  grep -q "^\.TH [^ ]* 1 [^ ]* \"varnak $version\"" "$prefix/share/man/man1/$page.1" ||
    fail "the manual page $page.1 does not name version $version"
done

# Run the installed copies away from the source and build folders.
cd "$prefix"
"$prefix/bin/varnak" -terse "$src/examples/mail" > installed.tsv 2> /dev/null
"$build/varnak" -terse "$src/examples/mail" > built.tsv 2> /dev/null
cmp -s installed.tsv built.tsv || fail "the installed varnak reports differently from the built one"
[ -s installed.tsv ] || fail "the installed varnak printed no rows for the example archive"
"$prefix/bin/varnak-plot" -g < installed.tsv > chart.gp || fail "the installed varnak-plot failed"
grep -q '^set terminal pngcairo' chart.gp || fail "the installed varnak-plot wrote no gnuplot commands"

# The pages must render without a single complaint from the formatter.
# Formatters embolden by overstriking (X, backspace, X); the sed undoes it.
backspace=$(printf '\b')
for page in varnak varnak-plot; do
  file=$prefix/share/man/man1/$page.1
  if command -v man > /dev/null 2>&1; then
    LC_ALL=C MANWIDTH=80 man -l "$file" > page.raw 2> page.err
  elif command -v mandoc > /dev/null 2>&1; then
    mandoc -T ascii "$file" > page.raw 2> page.err
  elif command -v groff > /dev/null 2>&1; then
    groff -man -T ascii "$file" > page.raw 2> page.err
  else
    echo "skipped: needs man, mandoc or groff (Debian package man-db, mandoc or groff-base) to render the manual pages; all else was checked"
    exit 77
  fi
  sed "s/.$backspace//g" page.raw > page.txt
  [ ! -s page.err ] || { cat page.err >&2; fail "rendering $page.1 gave warnings"; }
  if ! grep -q "^NAME" page.txt || ! grep -q "^ *$page - " page.txt; then
    fail "$page.1 renders without its NAME section"
  fi
done
echo "check_install: installed and ran varnak $version in $prefix"
