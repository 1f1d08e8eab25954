#!/bin/sh
# check_exports.sh windows|native LIBRARY TOOL
# The plug-in library must export exactly _pbplug_Device; on Windows it may import only
# KERNEL32.dll, msvcrt.dll and dinput8.dll, so that no runtime DLL is needed beside it.
set -eu
kind=$1 lib=$2 tool=$3
fail() { echo "FAIL: $*"; exit 1; }

if [ "$kind" = windows ]; then
  dump=$("$tool" -p "$lib")
  exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} {on=0}')
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print $3}' | sort -u)
  echo "exports: $exports"
  echo "imports: $(echo $imports)"
  [ "$exports" = "_pbplug_Device" ] || fail "export table is not exactly _pbplug_Device"
  for dll in $imports; do
    case "$(echo "$dll" | tr A-Z a-z)" in
      kernel32.dll|msvcrt.dll|dinput8.dll) ;;
      *) fail "unexpected import $dll" ;;
    esac
  done
else
  exports=$("$tool" -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sort -u)
  echo "exports: $exports"
  [ "$exports" = "_pbplug_Device" ] || fail "dynamic symbol table does not hold exactly _pbplug_Device"
fi
echo "OK"
