#!/bin/sh
# Runs each program that reads a property list the user or an installer controls on every file
# of the shared hostile inputs, and checks that each answers it as bad input: no crash, no hang
# (each run is bounded by a timeout), and the program's own "bad file" answer.
#
# usage: run_programs.sh HOSTILE_FOLDERS SCRIPTHELPER [PLUGSWEEP [INSTALLER_HOST]]
# HOSTILE_FOLDERS is one folder, or several separated by colons.
set -u
hostile_folders=$1
scripthelper=$2
plugsweep=${3:-}
installer_host=${4:-}
limit=20
failures=0
work=$(mktemp -d /tmp/hostile-programs-XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

good_registry() {
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<plist version="1.0"><dict>' \
    '<key>KEP2_KEY_MODULES</key><dict><key>UUID-ALPHA</key><dict>' \
    '<key>ModuleName</key><string>Alpha vLX</string>' \
    "<key>InstallPath</key><string>$1/Library/Printers/Tavix/Alpha/Alpha.plugin</string>" \
    '</dict></dict></dict></plist>'
}

good_plan() {
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<plist version="1.0"><dict>' \
    '<key>UnInstallApps</key><array><dict><key>UUID</key><string>UUID-ALPHA</string>' \
    "<key>UnInstallPath</key><string>$1/Library/Printers/Tavix/Alpha</string></dict></array></dict></plist>"
}

# A fresh home and machine root with one installed module.
sandbox() {
  rm -rf "$work/home" "$work/root"
  mkdir -p "$work/home/Library/Preferences" "$work/root/Library/Preferences" \
    "$work/root/Library/Printers/Tavix/Alpha/Alpha.plugin/Contents"
  echo module >"$work/root/Library/Printers/Tavix/Alpha/Alpha.plugin/Contents/Info.plist"
  good_registry "$work/root" >"$work/root/Library/Preferences/com.tavix.KEPL2.plist"
  good_plan "$work/root" >"$work/home/Library/Preferences/com.tavix.pluginUnInstall.plist"
}

run() {
  env HOME="$work/home" PLATFORM_ROOT="$work/root" QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
    XDG_RUNTIME_DIR="$work" timeout "$limit" "$@" >"$work/out" 2>"$work/err"
}

# Sound registries among the hostile inputs, read on purpose: F7c's shared objects are read once
# and cost what the file holds, I2 names one module twice and its last value is the answer, M4
# reaches one list under two selections and reads alike whole and selected. They hold no module
# of the plan, so ScriptHelper removes nothing; Plugsweep lists what they hold; the installer host
# takes them as saved answers.
reads_on_purpose() {
  case "$1" in
  F7c-registry-bignames-405KB.bplist | I2-registry-repeated-module-key.* | M4-registry-crossing-selection.bplist) return 0 ;;
  esac
  return 1
}

found=0
files=$(
  IFS=:
  for hostile in $hostile_folders; do
    find "$hostile" -type f ! -name '*.md'
  done | sort
)
for file in $files; do
  found=$((found + 1))
  name=${file##*/}

  # ScriptHelper, the root side, given the file as its plan and then as its registry.
  for role in plan registry; do
    sandbox
    if [ "$role" = plan ]; then
      cp "$file" "$work/home/Library/Preferences/com.tavix.pluginUnInstall.plist"
    else
      cp "$file" "$work/root/Library/Preferences/com.tavix.KEPL2.plist"
    fi
    run "$scripthelper"
    status=$?
    # A refused plan exits 65 (EX_DATAERR), a refused registry 74 (EX_IOERR), each with one
    # "refused <role> <path> <reason>" line.
    expected=65
    [ "$role" = registry ] && expected=74
    if [ "$role" = registry ] && reads_on_purpose "$name"; then
      [ "$status" -eq 0 ] || fail "ScriptHelper with $name as its $role: exit $status: $(head -c 300 "$work/out")"
    elif [ "$status" -ne "$expected" ] || ! grep -q "^refused $role " "$work/out"; then
      fail "ScriptHelper with $name as its $role: exit $status: $(head -c 300 "$work/out")"
    fi
    [ -e "$work/root/Library/Printers/Tavix/Alpha/Alpha.plugin" ] || fail "ScriptHelper with $name as its $role removed a module"
  done

  # Plugsweep given the file as its registry: no rows, the "no modules" message, one log line.
  if [ -n "$plugsweep" ]; then
    sandbox
    cp "$file" "$work/root/Library/Preferences/com.tavix.KEPL2.plist"
    echo show >"$work/script.txt"
    run env PLATFORM_UI_SCRIPT="$work/script.txt" "$plugsweep"
    status=$?
    if reads_on_purpose "$name"; then
      [ "$status" -eq 0 ] || fail "Plugsweep with $name as its registry: exit $status: $(head -c 300 "$work/out")"
      if grep -q "The module registry .* was not read" "$work/err"; then
        fail "Plugsweep with $name as its registry logged it as unread: $(head -c 300 "$work/err")"
      fi
    else
      if [ "$status" -ne 0 ] || ! grep -q "rows=0 enabled=0" "$work/out" ||
        ! grep -q "text noListMessage .* hidden=0" "$work/out"; then
        fail "Plugsweep with $name as its registry: exit $status: $(head -c 300 "$work/out")"
      fi
      if [ "$(grep -c "The module registry .* was not read" "$work/err")" -ne 1 ]; then
        fail "Plugsweep with $name as its registry did not log one line why: $(head -c 300 "$work/err")"
      fi
    fi
  fi

  # The installer host given the file as its saved answers.
  if [ -n "$installer_host" ]; then
    # The pane bundle is an empty folder: answers that read are taken, and the run then stops at
    # the bundle (exit 2); answers that do not read stop it before (exit 4).
    mkdir -p "$work/none.bundle"
    run "$installer_host" --unattended --shared-dictionary "$file" "$work/none.bundle"
    status=$?
    expected=4
    reads_on_purpose "$name" && expected=2
    [ "$status" -eq "$expected" ] ||
      fail "installer-host with $name as its saved answers: exit $status: $(head -c 300 "$work/err")"
  fi
done

[ "$found" -gt 0 ] || fail "no hostile inputs found in $hostile_folders"
echo "$found files, $failures failures"
[ "$failures" -eq 0 ]
