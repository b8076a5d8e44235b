#!/bin/sh
# Makes the release: with CPack, one zip per Windows build given (Lamdex-<version>-win32.zip,
# -win64.zip), then SHA256SUMS for every zip in OUT_DIR. Builds without a configuration are
# passed over, so the win64 zip appears where that build exists.
# The zips are the same bytes for the same commit wherever and whenever they are made: every
# time in them is the commit's, from the build's stamp (cmake/CommitStamp.cmake).
#
# usage: tools/make-dist.sh OUT_DIR WINDOWS_BUILD_DIR...
set -eu

if [ $# -lt 2 ]; then
  echo "usage: $0 OUT_DIR WINDOWS_BUILD_DIR..." >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift

if ! command -v strip-nondeterminism >/dev/null 2>&1; then
  echo "make-dist: strip-nondeterminism is missing (Debian's strip-nondeterminism; make deps installs it)" >&2
  exit 1
fi

made=0
for build in "$@"; do
  if [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "make-dist: no Windows build configured in $build; no zip from it."
    continue
  fi
  build=$(cd "$build" && pwd)
  if [ ! -f "$build/source-date-epoch" ]; then
    echo "make-dist: $build is not built (no source-date-epoch): build it first" >&2
    exit 1
  fi
  # strip, run by CPack, writes this into the PE header; CPack gives it to the zip entries.
  SOURCE_DATE_EPOCH=$(cat "$build/source-date-epoch")
  export SOURCE_DATE_EPOCH
  # CPack works in a folder of its own, so two runs on one build never share files.
  staging=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-dist.XXXXXX")
  if ! cpack --config "$build/CPackConfig.cmake" -B "$staging" >"$staging/cpack.log" 2>&1; then
    cat "$staging/cpack.log" >&2
    rm -rf "$staging"
    echo "make-dist: CPack failed for $build" >&2
    exit 1
  fi
  for zip in "$staging"/Lamdex-*.zip; do
    # What CPack leaves to the machine: the order of the entries (the folder's), their DOS
    # times (in the local time zone) and the owner's user and group ids.
    if ! strip-nondeterminism --type zip --timestamp "$SOURCE_DATE_EPOCH" "$zip"; then
      rm -rf "$staging"
      echo "make-dist: strip-nondeterminism failed on $(basename "$zip")" >&2
      exit 1
    fi
    mv "$zip" "$out/"
    # The size of the DLL as shipped (stripped), so that no document has to state it.
    size=$(python3 -c 'import sys, zipfile
print(next(f"{entry.file_size:,}" for entry in zipfile.ZipFile(sys.argv[1]).infolist()
           if entry.filename.endswith("/Lamdex.dll")))' "$out/$(basename "$zip")")
    echo "make-dist: $out/$(basename "$zip") (Lamdex.dll: $size bytes)"
    made=$((made + 1))
  done
  rm -rf "$staging"
done

if [ "$made" -eq 0 ]; then
  echo "make-dist: no zip was made" >&2
  exit 1
fi
# Names without folders, so the list checks wherever the zips are copied.
(cd "$out" && sha256sum Lamdex-*.zip >SHA256SUMS)
echo "make-dist: $out/SHA256SUMS"
