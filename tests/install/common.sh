# Shared steps of the install tests (sourced).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
app_id=org.mailvane.Mailvane

fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The regular files (and links) below $1, relative to it, sorted.
file_list() { (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort); }

# Checks that the tree below $1 holds exactly the expected files.
check_file_list() {
  local root=$1
  if ! diff -u <(LC_ALL=C sort "$here/expected-files.txt") <(file_list "$root"); then
    fail "the files below $root are not the expected ones (- expected, + found)"
  fi
}

# A key's value in the desktop entry $1.
desktop_value() { sed -n "s/^$2=//p" "$1" | head -n 1; }

# Checks what a desktop needs from the tree below the prefix $1.
check_desktop_files() {
  local prefix=$1
  local desktop=$prefix/share/applications/$app_id.desktop
  desktop-file-validate "$desktop" || fail "desktop-file-validate refuses $desktop"
  appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" \
    || fail "appstreamcli refuses the metainfo"
  local icon exec
  icon=$(desktop_value "$desktop" Icon)
  exec=$(desktop_value "$desktop" Exec)
  [ "$icon" = "$app_id" ] || fail "the desktop entry names the icon '$icon'"
  [ -x "$prefix/bin/${exec%% *}" ] || fail "the desktop entry starts '$exec', which is not installed"
  local size
  for size in 48 256; do
    local png=$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [ "$(python3 "$here/png.py" size "$png")" = "${size}x$size" ] || fail "$png is not $size px"
  done
}
