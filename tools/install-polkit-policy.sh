#!/usr/bin/env bash
# Installs the polkit action of the privileged launcher built in BUILD_DIR, so that pkexec asks
# for an administrator's password once and then starts that launcher as root.
#   tools/install-polkit-policy.sh BUILD_DIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
policy=$build/polkit/com.tavix.platform.authorization.policy
actions=/usr/share/polkit-1/actions
if [ ! -f "$policy" ]; then
  echo "$policy is missing: configure and build $build first" >&2
  exit 1
fi
launcher=$(sed -n 's:.*<annotate key="org.freedesktop.policykit.exec.path">\(.*\)</annotate>.*:\1:p' "$policy")
if [ ! -x "$launcher" ]; then
  echo "warning: the launcher $launcher named by the policy is not built yet" >&2
fi
if [ "$(id -u)" -eq 0 ]; then
  install -d -m 0755 "$actions"
  install -m 0644 -o root -g root "$policy" "$actions/"
else
  sudo install -d -m 0755 "$actions"
  sudo install -m 0644 -o root -g root "$policy" "$actions/"
fi
echo "installed $actions/$(basename "$policy") for $launcher"
