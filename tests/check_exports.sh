#!/bin/sh
# check_exports.sh windows LIBRARY OBJDUMP VERSION
# check_exports.sh native LIBRARY NM
# The plug-in library must export exactly _pbplug_Device. On Windows it may import only
# KERNEL32.dll, msvcrt.dll, dinput8.dll and USER32.dll (the list of
# input devices), so that no runtime DLL is needed beside it; it
# must be relocatable (ASLR) and keep data out of execution (DEP); and it must carry the
# project's version in its version resource.
set -eu
kind=$1 lib=$2 tool=$3
fail() { echo "FAIL: $*"; exit 1; }

if [ "$kind" = windows ]; then
  version=$4
  dump=$("$tool" -p "$lib")
  exports=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF; next} {on=0}')
  imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print $3}' | sort -u)
  flags=$(printf '%s\n' "$dump" | awk '/^DllCharacteristics/{on=1; next} on && /^[ \t]+[A-Z_]+$/{print $1; next} {on=0}')
  echo "exports: $exports"
  echo "imports: $(echo $imports)"
  echo "characteristics: $(echo $flags)"
  [ "$exports" = "_pbplug_Device" ] || fail "export table is not exactly _pbplug_Device"
  for dll in $imports; do
    case "$(echo "$dll" | tr A-Z a-z)" in
      kernel32.dll|msvcrt.dll|dinput8.dll|user32.dll) ;;
      *) fail "unexpected import $dll" ;;
    esac
  done
  for flag in DYNAMIC_BASE NX_COMPAT; do
    echo "$flags" | grep -qx "$flag" || fail "$flag is not set"
  done
  # The version resource's texts are UTF-16: each name is followed by its value.
  texts=$(strings -el "$lib")
  for name in FileVersion ProductVersion; do
    value=$(printf '%s\n' "$texts" | awk -v n="$name" 'found {print; exit} $0 == n {found=1}')
    echo "$name: $value"
    [ "$value" = "$version" ] || fail "$name is '$value', not $version"
  done
else
  exports=$("$tool" -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVWiu]$/ {print $3}' | sort -u)
  echo "exports: $exports"
  [ "$exports" = "_pbplug_Device" ] || fail "dynamic symbol table does not hold exactly _pbplug_Device"
fi
echo "OK"
