#!/bin/sh
# Peak memory (maxrss) of ScriptHelper given a shared-reference file as its plan, and of
# Plugsweep --list given it as the registry, through their test seams (HOME, PLATFORM_ROOT), not
# as root. The files come from the shared hostile inputs' generator: a root array of one-byte
# references to one 8-byte data object or to true, 8, 32 and 64 MiB.
#
# usage: shared-reference-programs.sh SCRIPTHELPER PLUGSWEEP [MiB...]
set -u
scripthelper=$1
plugsweep=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
generator="$here/../../shared/hostile-inputs/make-shared-references.py"
work=$(mktemp -d /tmp/shared-reference-programs-XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 "$generator" "$work/files" "$@" >/dev/null

sandbox() {
  rm -rf "$work/home" "$work/root"
  mkdir -p "$work/home/Library/Preferences" "$work/root/Library/Preferences"
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' \
    '<plist version="1.0"><dict><key>KEP2_KEY_MODULES</key><dict/></dict></plist>' \
    >"$work/root/Library/Preferences/com.tavix.KEPL2.plist"
}

# Runs a program in the sandbox and prints its maxrss in KiB.
peak() {
  env HOME="$work/home" PLATFORM_ROOT="$work/root" LANG=C.UTF-8 XDG_RUNTIME_DIR="$work" \
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1
  cat "$work/rss" | tail -n 1
}

row() {
  awk -v f="$1" -v p="$2" -v k="$3" -v s="$4" 'BEGIN { printf "%-32s %-12s %10.1f %14.1f\n", f, p, k / 1024, k * 1024 / s }'
}

printf '%-32s %-12s %10s %14s\n' file program "peak MiB" "bytes per byte"
for file in "$work"/files/*.bplist; do
  size=$(stat -c %s "$file")
  name=$(basename "$file")
  sandbox
  cp "$file" "$work/home/Library/Preferences/com.tavix.pluginUnInstall.plist"
  kib=$(peak "$scripthelper")
  row "$name" ScriptHelper "$kib" "$size"
  sandbox
  cp "$file" "$work/root/Library/Preferences/com.tavix.KEPL2.plist"
  kib=$(peak "$plugsweep" --list)
  row "$name" Plugsweep "$kib" "$size"
done
