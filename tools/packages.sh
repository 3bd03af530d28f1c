# Sourced by ./run and .ci/run: reads tools/packages.list and installs what is missing.
#   packages_of SET        prints the packages of one set, one a line
#   install_packages SET   installs the missing packages of SET with apt-get (sudo when not root)

packages_list="$(dirname "${BASH_SOURCE[0]}")/packages.list"

packages_of() {
  sed -e 's/#.*//' "$packages_list" | awk -v set="$1" '$1 == set { for (i = 2; i <= NF; i++) print $i }'
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# A mirror in the middle of a sync answers with index files of the wrong size for a while. When
# one index still fails after three tries, the others are used: apt-get install then says what it
# cannot find.
apt_update() {
  local try
  for try in 1 2 3; do
    as_root apt-get update -qq -o Acquire::Retries=3 && return 0
    echo "apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep 20
  done
  echo "apt-get update: going on with the indexes that could be fetched" >&2
}

install_packages() {
  local missing=() p
  if [ "$1" = i386 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  for p in $(packages_of "$1"); do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt_update
    if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
      # A foreign architecture's packages must have the very versions of the native ones. When
      # a mirror lacks one architecture's security index, the versions of the main archive are
      # the ones both architectures have: they are preferred for this install only.
      [ "$1" = i386 ] || return 1
      echo "Installing the i386 packages at the main archive's versions" >&2
      local pin
      pin=$(mktemp)
      printf 'Package: *\nPin: release n=bookworm\nPin-Priority: 1001\n' >"$pin"
      as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends --allow-downgrades \
        -o Dir::Etc::Preferences="$pin" -o Dir::Etc::PreferencesParts=/nonexistent "${missing[@]}" || { rm -f "$pin"; return 1; }
      rm -f "$pin"
    fi
  fi
}
