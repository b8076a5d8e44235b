#!/bin/sh
# The release as a user gets it: makes the zip of this Windows build the way `make dist`
# does, checks it against SHA256SUMS, unpacks it in a clean folder and checks what is
# there: the expected files and nothing else, a stripped DLL that imports system DLLs
# only, and, loaded by zbhost --info under Wine, a DLL that answers with its identity.
# Where this machine cannot run the build's Wine, the rest is still checked and the test
# ends as skipped (77).
#
# usage: check-release-zip.sh BUILD_DIR OBJDUMP VERSION
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
objdump=$2
version=$3
arch=$(cat "$build/wine-arch")
name=Lamdex-$version-$arch

work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

sh "$source_dir/tools/make-dist.sh" "$work/download" "$build" >/dev/null
(cd "$work/download" && sha256sum --check --strict SHA256SUMS) || fail "the zip does not match SHA256SUMS"

mkdir "$work/clean"
(cd "$work/clean" && cmake -E tar xf "$work/download/$name.zip") || fail "$name.zip does not unpack"
[ "$(ls -A "$work/clean")" = "$name" ] || fail "the zip should hold one folder $name, not: $(ls -A "$work/clean")"
files=$(cd "$work/clean/$name" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$files" = "./LICENSE.txt ./Lamdex.dll ./USER-GUIDE.txt ./VERSION.txt " ] || fail "the zip holds: $files"
dll=$work/clean/$name/Lamdex.dll

grep -q "^Lamdex $version," "$work/clean/$name/VERSION.txt" || fail "VERSION.txt says: $(cat "$work/clean/$name/VERSION.txt")"
grep -q "MIT License" "$work/clean/$name/LICENSE.txt" || fail "LICENSE.txt is not the licence"
grep -q "Read at least every 80 ms" "$work/clean/$name/USER-GUIDE.txt" || fail "the user guide lacks the polling rule"
if "$objdump" -h "$dll" | grep -q '\.debug_'; then fail "the DLL still has debug sections"; fi
"$objdump" -t "$dll" | grep -q '^no symbols' || fail "the DLL still has a symbol table"
sh "$here/check-dll-tables.sh" "$objdump" "$dll" || fail "the unpacked DLL's tables"
echo "$name.zip: checksum, files and tables right; Lamdex.dll is $(wc -c <"$dll") bytes"

status=0
"$source_dir/cmake/wine-run.sh" "$build/wineprefix" "$build/tools/zbhost/zbhost.exe" "$dll" --info \
  >"$work/info.crlf" 2>&1 || status=$?
tr -d '\r' <"$work/info.crlf" >"$work/info.txt"
cat "$work/info.txt"
[ "$status" -ne 77 ] || exit 77
[ "$status" -eq 0 ] || fail "zbhost --info exited with $status"
for line in "Plug-in     Lamdex Reader" "Component   LC1 IO Driver" "  version      $version" "  type         100001"; do
  grep -qxF "$line" "$work/info.txt" || fail "zbhost --info did not show \"$line\""
done
[ "$(grep -cxF "  version      $version" "$work/info.txt")" -eq 2 ] || fail "plug-in and component should both be version $version"
