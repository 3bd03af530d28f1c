#!/usr/bin/env bash
# The uninstaller demo: Plugsweep.app on a demo machine root of its own.
#   tools/demo_plugsweep.sh BUILD_DIR [--binary] [--offscreen]
# Makes BUILD_DIR/demo-plugsweep/ afresh: a machine root whose module registry
# (Library/Preferences/com.tavix.KEPL2.plist, binary-encoded with --binary) lists five modules,
# three of them with "vLX" in the name, each installed in a folder under the root; and a home
# folder with Library/Preferences, where the uninstall plan is written. Then it starts
# Plugsweep.app with PLATFORM_ROOT and HOME pointing there: a window where there is a display,
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

if [ "$offscreen" -eq 0 ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  # The administrator prompt needs the polkit action of the build's privileged launcher.
  policy="$build/polkit/com.tavix.platform.authorization.policy"
  installed="/usr/share/polkit-1/actions/$(basename "$policy")"
  if [ -f "$policy" ] && ! cmp -s "$policy" "$installed"; then
    echo "Installing the polkit action for the administrator prompt (needs root):"
    "$(dirname "$0")/install-polkit-policy.sh" "$build"
  fi
  if [ "$(id -u)" -ne 0 ]; then
    # ScriptHelper, running as root, trusts only a registry that root owns, in folders that only
    # root can write; so the windowed demo uses a root-owned copy of the demo root.
    owned=/var/tmp/plugsweep-demo-root
    echo "Copying the demo root to $owned, owned by root (needs root):"
    sudo rm -rf "$owned"
    sudo cp -a "$root" "$owned"
    sudo chown -R root:root "$owned"
    sudo chmod -R go-w "$owned"
    # The registry names the modules' folders by absolute path: point them into the copy.
    copy="$owned/Library/Preferences/com.tavix.KEPL2.plist"
    sed "s|$root|$owned|g" "$registry_xml" | sudo tee "$copy.xml" >/dev/null
    if [ "$binary" -eq 1 ]; then
      sudo python3 -c 'import plistlib, sys; plistlib.dump(plistlib.load(open(sys.argv[1], "rb")), open(sys.argv[2], "wb"), fmt=plistlib.FMT_BINARY, sort_keys=False)' "$copy.xml" "$copy"
    else
      sudo cp "$copy.xml" "$copy"
    fi
    sudo rm -f "$copy.xml"
    export PLATFORM_ROOT="$owned"
    echo "Demo machine root is now $owned"
  fi
  echo "Starting Plugsweep; the Uninstall button asks for an administrator's password."
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
