#!/usr/bin/env bash
# cmake --install puts the program, its desktop entry, icons and metainfo
# below the prefix, with and without DESTDIR, and they validate.
#   test_install_tree.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
build=$1

echo "== --prefix /usr with DESTDIR"
DESTDIR=$work/root cmake --install "$build" --prefix /usr >/dev/null
check_file_list "$work/root/usr"
check_desktop_files "$work/root/usr"
appstreamcli validate-tree --no-net "$work/root" || fail "appstreamcli refuses the installed tree"

echo "== --prefix elsewhere"
cmake --install "$build" --prefix "$work/opt/mailvane" >/dev/null
check_file_list "$work/opt/mailvane"
check_desktop_files "$work/opt/mailvane"

echo "== the scalable icon is the program's picture"
icons=$work/root/usr/share/icons/hicolor
rsvg-convert -w 256 -h 256 "$icons/scalable/apps/$app_id.svg" -o "$work/svg.png"
differing=$(python3 "$here/png.py" diff "$work/svg.png" "$icons/256x256/apps/$app_id.png")
echo "pixels differing: $differing %"
python3 -c "import sys; sys.exit(float('$differing') > 0.2)" \
  || fail "the SVG icon differs from the program's picture in $differing % of its pixels"
echo "PASS"
