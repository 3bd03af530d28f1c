#!/usr/bin/env bash
# The demo of the built tree.
#   tools/demo.sh BUILD_DIR              Oxlade's pane in the installer host, on a demo home folder
#   tools/demo.sh BUILD_DIR plugsweep …  the uninstaller demo (tools/demo_plugsweep.sh)
# With a display ($DISPLAY or $WAYLAND_DISPLAY) the installer window opens; without one the
# host runs unattended with two hosts ticked through a seeded shared dictionary and prints the
# checklist, the install plan it wrote and the final shared dictionary.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [ $# -lt 1 ]; then
  echo "usage: tools/demo.sh BUILD_DIR [plugsweep ...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
shift

if [ "${1:-}" = plugsweep ]; then
  shift
  exec "$here/demo_plugsweep.sh" "$build" "$@"
fi

host="$build/bin/installer-host"
bundle="$build/Oxlade.bundle"
for needed in "$host" "$bundle/Contents/MacOS/Oxlade"; do
  if [ ! -e "$needed" ]; then
    echo "demo: $needed is missing; build first (./run build)" >&2
    exit 1
  fi
done

demo="$build/demo"
home="$demo/home"
root="$demo/root"
prefs="$home/Library/Preferences"
apps="$home/Applications"

# A fresh home folder on every run; the window's saved answers lie beside it and survive.
rm -rf "$home" "$root"
mkdir -p "$prefs" "$root"

# A PS path file: a first string, NUL, the host's plug-in folder, NUL.
path_file() {
  printf '%s\0%s\0' "$2" "$3" > "$prefs/$1"
}

# Two hosts whose plug-in folders exist ...
mkdir -p "$apps/Photo Editor 6/Plug-ins" "$apps/Image Workshop 3/Plug-ins"
path_file com.tavix.PSPath.PE6 "Photo Editor 6" "$apps/Photo Editor 6/Plug-ins"
path_file com.tavix.PSPath.IW3 "Image Workshop 3" "$apps/Image Workshop 3/Plug-ins"
# ... one whose path file names a folder that is gone (its row is shown disabled) ...
path_file com.tavix.PSPath.PE5 "Photo Editor 5" "$apps/Photo Editor 5/Plug-ins"
# ... and the folder of the fixed-folder host under the demo machine root, where the plan names
# it (the catalogue's machine folders lie under the root; so does the driver lookup's /Library).
mkdir -p "$root/Applications/Layout Designer 2/Plug-ins/Print"
# A folder to pick for "another photo editor" in the window.
mkdir -p "$apps/Other Photo Editor/Plug-ins"

# The machine-wide folders the Install step registers modules in: the registry's folder and the
# folder where modules live, under the demo root.
mkdir -p "$root/Library/Preferences" "$root/Library/Printers/Tavix"

export HOME="$home"
export PLATFORM_ROOT="$root"
# The demo root belongs to you, so the Install step runs with your own rights: a stand-in for
# pkexec runs the install launcher as you. The installed package asks polkit for an administrator.
stand_in="$demo/pkexec-as-you"
printf '%s\n' '#!/bin/sh' '# Demo stand-in for pkexec: runs the launcher as the calling user.' 'exec "$@"' >"$stand_in"
chmod 755 "$stand_in"
export PLATFORM_PKEXEC="$stand_in"

# What the Install step placed and registered, once the host has ended.
show_installed() {
  echo "== Installed files under the demo home and root"
  (cd "$demo" && find home/Applications root/Library/Printers -name '*.plugin' -o -name '*.vlxmodule' | sort | sed 's/^/  /')
  echo "== Module registry $root/Library/Preferences/com.tavix.KEPL2.plist"
  if [ -f "$root/Library/Preferences/com.tavix.KEPL2.plist" ]; then
    grep -E '<key>[0-9A-F-]{36}</key>|vLX module' "$root/Library/Preferences/com.tavix.KEPL2.plist" | sed 's/^\s*/  /'
  else
    echo "  (none: nothing was registered)"
  fi
  echo "The receipts in the registry list every file above; ScriptHelper removes exactly those."
}
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$demo/runtime"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Demo home: $home"
  echo "Saved answers: $demo/window-answers.plist"
  status=0
  "$host" --shared-dictionary "$demo/window-answers.plist" "$bundle" || status=$?
  plan="$prefs/com.tavix.pluginInstall.plist"
  if [ -f "$plan" ]; then
    echo "== Install plan $plan"
    cat "$plan"
  fi
  show_installed
  exit "$status"
fi

echo "No display: running the installer host unattended on $home"
answers="$demo/unattended-answers.plist"
cat > "$answers" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>selectionAPPKey</key>
	<array>
		<string>APP_PHOTO_EDITOR_6</string>
		<string>APP_IMAGE_WORKSHOP_3</string>
	</array>
</dict>
</plist>
PLIST

status=0
"$host" --unattended --shared-dictionary "$answers" "$bundle" || status=$?
plan="$prefs/com.tavix.pluginInstall.plist"
if [ -f "$plan" ]; then
  echo "== Install plan $plan"
  cat "$plan"
else
  echo "== No install plan was written"
fi
show_installed
exit "$status"
