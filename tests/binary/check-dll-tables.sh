#!/bin/sh
# Checks what Lamdex.dll promises a Windows machine: it imports system DLLs only
# (so it loads when copied alone), and exports exactly the two entry points,
# undecorated, by the ordinals hosts may use, under the library name "Lamdex.dll".
# usage: check-dll-tables.sh OBJDUMP DLL
set -eu
objdump=$1
dll=$2
tables=$("$objdump" -p "$dll")
status=0

allowed="KERNEL32.dll USER32.dll SHELL32.dll RPCRT4.dll msvcrt.dll"
imports=$(printf '%s\n' "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p')
for import in $imports; do
  known=no
  for name in $allowed; do
    if [ "$(echo "$import" | tr '[:lower:]' '[:upper:]')" = "$(echo "$name" | tr '[:lower:]' '[:upper:]')" ]; then
      known=yes
    fi
  done
  if [ "$known" = no ]; then
    echo "FAIL: $dll imports $import, which is not a Windows system DLL (allowed: $allowed)."
    echo "      Link that runtime statically (see plugin/CMakeLists.txt)."
    status=1
  fi
done

if ! printf '%s\n' "$tables" | grep -Eq '^Name[[:space:]]+[0-9a-f]+ Lamdex\.dll$'; then
  echo "FAIL: the export table does not name the library Lamdex.dll (check plugin/Lamdex.def)."
  status=1
fi

# objdump lists named exports as "[ordinal - base] name" after the name pointer table's heading.
base=$(printf '%s\n' "$tables" | sed -n 's/.*Ordinal Base \([0-9]*\).*/\1/p')
exports=$(printf '%s\n' "$tables" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' |
  while read -r index name; do echo "$((index + base)) $name"; done | sort)
expected=$(printf '1 ZBCreatePlugin\n2 ZBReleasePlugin')
if [ "$exports" != "$expected" ]; then
  echo "FAIL: exports are:"
  printf '%s\n' "$exports"
  echo "expected exactly:"
  printf '%s\n' "$expected"
  status=1
fi

[ "$status" -eq 0 ] && echo "imports: $(echo $imports); exports: $(echo $exports)"
exit "$status"
