#!/usr/bin/env bash
# Builds Plugsweep and the registry comparison in build/ and prints the table of our data path
# and start-up against python3's plistlib, with the machine's load before and after.
#   bench/registry-vs-python.sh [bench_registry_vs_python options, e.g. --sizes 10000,100000 --repeat 5]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}

# shellcheck source=tools/packages.sh
source "$here/tools/packages.sh"
install_packages amd64
install_packages bench
[ -f "$build/CMakeCache.txt" ] || cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j"$(nproc)" --target Plugsweep bench_registry_vs_python
echo "load before: $(uptime)"
status=0
"$build/bin/bench_registry_vs_python" "$@" || status=$?
echo "load after:  $(uptime)"
exit $status
