#!/usr/bin/env bash
# The uninstaller demo: Plugsweep.app on a demo machine root of its own.
#   tools/demo_plugsweep.sh BUILD_DIR [--binary] [--offscreen]
# Makes BUILD_DIR/demo-plugsweep/ afresh: a machine root whose module registry
# (Library/Preferences/com.tavix.KEPL2.plist, binary-encoded with --binary) lists five modules,
# three of them with "vLX" in the name, each installed in a folder under the root; and a home
# folder with Library/Preferences, where the uninstall plan is written. Then it starts
# Plugsweep.app with PLATFORM_ROOT and HOME pointing there: a window where there is a display
# (the removal then runs unprivileged, as you, on that demo root of your own, with no prompt),
# else (or with --offscreen) an offscreen run driven by a UI script that ticks two modules,
# presses Uninstall, grants the administrator prompt, dismisses the completion alert and prints
# what is left.
set -euo pipefail

usage() {
  echo "usage: tools/demo_plugsweep.sh BUILD_DIR [--binary] [--offscreen]" >&2
  exit 2
}

[ $# -ge 1 ] || usage
build=$(cd "$1" && pwd)
shift
binary=0
offscreen=0
for arg in "$@"; do
  case "$arg" in
    --binary) binary=1 ;;
    --offscreen) offscreen=1 ;;
    *) usage ;;
  esac
done

app="$build/Plugsweep.app"
program="$app/Contents/MacOS/Plugsweep"
for needed in "$program" "$app/Contents/Resources/ScriptHelper" "$app/Contents/Resources/MainMenu.ui"; do
  if [ ! -e "$needed" ]; then
    echo "demo: $needed is missing; build first (./run build)" >&2
    exit 1
  fi
done

demo="$build/demo-plugsweep"
root="$demo/root"
home="$demo/home"
rm -rf "$demo"
mkdir -p "$root/Library/Preferences" "$home/Library/Preferences"

modules_dir="$root/Library/Printers/Tavix/Modules"

# identifier|name|folder
modules=(
  "6F1B2C3D-0001-4A5B-9C8D-00000000A1F0|Alpha vLX Module|Alpha"
  "6F1B2C3D-0002-4A5B-9C8D-00000000B2E1|Beta vLX|Beta"
  "6F1B2C3D-0003-4A5B-9C8D-00000000C3D2|Gamma Legacy Module|Gamma"
  "6F1B2C3D-0004-4A5B-9C8D-00000000D4C3|Delta vLX Layout Tools|Delta"
  "6F1B2C3D-0005-4A5B-9C8D-00000000E5B4|Epsilon Driver|Epsilon"
)

xml_escape() {
  local s=$1
  s=${s//&/&amp;}
  s=${s//</&lt;}
  s=${s//>/&gt;}
  printf '%s' "$s"
}

registry_xml="$demo/com.tavix.KEPL2.xml"
{
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' \
    '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">' \
    '<plist version="1.0">' '<dict>' '	<key>KEP2_KEY_MODULES</key>' '	<dict>'
  for module in "${modules[@]}"; do
    IFS='|' read -r id name folder <<<"$module"
    plugin="$modules_dir/$folder/$folder.plugin"
    mkdir -p "$plugin/Contents/MacOS" "$modules_dir/$folder/Resources"
    printf 'demo module %s\n' "$name" >"$plugin/Contents/MacOS/$folder"
    printf 'CFBundleName = "%s";\n' "$name" >"$modules_dir/$folder/Resources/InfoPlist.strings"
    printf '\t\t<key>%s</key>\n\t\t<dict>\n' "$(xml_escape "$id")"
    printf '\t\t\t<key>InstallPath</key>\n\t\t\t<string>%s</string>\n' "$(xml_escape "$plugin")"
    printf '\t\t\t<key>ModuleName</key>\n\t\t\t<string>%s</string>\n' "$(xml_escape "$name")"
    printf '\t\t\t<key>Version</key>\n\t\t\t<string>2.1.0</string>\n\t\t</dict>\n'
  done
  printf '%s\n' '	</dict>' '	<key>KEP2_KEY_VERSION</key>' '	<string>2</string>' '</dict>' '</plist>'
} >"$registry_xml"

registry="$root/Library/Preferences/com.tavix.KEPL2.plist"
if [ "$binary" -eq 1 ]; then
  if command -v python3 >/dev/null 2>&1 && python3 -c 'import plistlib' 2>/dev/null; then
    python3 - "$registry_xml" "$registry" <<'EOF'
import plistlib, sys
with open(sys.argv[1], "rb") as source:
    value = plistlib.load(source, dict_type=dict)
with open(sys.argv[2], "wb") as target:
    plistlib.dump(value, target, fmt=plistlib.FMT_BINARY, sort_keys=False)
EOF
  else
    echo "demo: --binary needs python3" >&2
    exit 1
  fi
else
  cp "$registry_xml" "$registry"
fi

echo "Demo machine root: $root"
echo "Demo home folder:  $home"
echo "Registry ($([ "$binary" -eq 1 ] && echo binary || echo XML)): $registry"
echo "Installed module folders:"
(cd "$root" && find Library/Printers -name '*.plugin' -prune -print | sort | sed 's/^/  \//')

export PLATFORM_ROOT="$root"
export HOME="$home"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$demo/runtime"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

if [ "$offscreen" -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  # The demo root belongs to you, so the removal runs with your own rights: a stand-in for pkexec
  # starts the launcher as you, without an administrator prompt, and ScriptHelper accepts a
  # registry that its caller owns when it runs unprivileged. Nothing here runs as root.
  stand_in="$demo/pkexec-as-you"
  printf '%s\n' '#!/bin/sh' '# Demo stand-in for pkexec: runs the launcher as the calling user.' 'exec "$@"' >"$stand_in"
  chmod 0755 "$stand_in"
  export PLATFORM_PKEXEC="$stand_in"
  echo
  echo "DEMO: the removal runs with your own rights ($(id -un)) on the demo root above, which is"
  echo "yours: Uninstall asks for no password, no sudo, no polkit policy. The administrator prompt"
  echo "belongs to the installed package (README: cpack -G DEB, then apt install)."
  echo
  exec "$program"
fi

script="$demo/ui-script.txt"
cat >"$script" <<'EOF'
show
tick uiTableView 0
tick uiTableView 2
show
auth grant
click uninstallButton
dismiss
EOF

echo "No display: running Plugsweep offscreen with the UI script $script:"
sed 's/^/  /' "$script"
echo
status=0
QT_QPA_PLATFORM=offscreen PLATFORM_UI_SCRIPT="$script" "$program" || status=$?
echo
echo "Plugsweep ended with status $status."
echo "The uninstall plan it wrote ($home/Library/Preferences/com.tavix.pluginUnInstall.plist):"
if [ -f "$home/Library/Preferences/com.tavix.pluginUnInstall.plist" ]; then
  sed 's/^/  /' "$home/Library/Preferences/com.tavix.pluginUnInstall.plist"
else
  echo "  (none)"
fi
echo "Module folders left under the demo root:"
left=$(cd "$root" && find Library/Printers -name '*.plugin' -prune -print | sort | sed 's/^/  \//')
echo "${left:-  (none)}"
if [ "$(head -c 8 "$registry")" = bplist00 ]; then
  echo "The registry is still binary-encoded ($(wc -c <"$registry") bytes)."
else
  echo "Modules left in the registry:"
  grep -A1 '<key>ModuleName</key>' "$registry" | sed -n 's|.*<string>\(.*\)</string>.*|  \1|p'
fi
exit "$status"
