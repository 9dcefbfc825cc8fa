#!/usr/bin/env bash
# The Debian package of a build: its dependencies come from the binary, it
# unpacks to the expected files, and the unpacked program starts to its first
# window (the about box) on an X server of its own, as a user who cannot
# write the program's folder and without the build folder.
#   test_package.sh BUILD_DIR
source "$(dirname "$0")/common.sh"
build=$1

echo "== building the package"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(echo "$work"/package/mailvane_*.deb)
[ -f "$deb" ] || fail "no package was built"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6keychain1 libc6 qt6-qpa-plugins libsecret-1-0; do
  grep -Eq "(^|, )$lib( |,|$)" <<<"$depends" || fail "the package does not depend on $lib"
done

echo "== unpacking"
root=$work/root
dpkg -x "$deb" "$root"
check_file_list "$root/usr"
check_desktop_files "$root/usr"
program=$root/usr/bin/mailvane
if readelf -d "$program" | grep -Eq 'RPATH|RUNPATH'; then
  fail "the installed program still has a library path: $(readelf -d "$program" | grep -E 'RPATH|RUNPATH')"
fi

echo "== starting the unpacked program"
# As root, run it as nobody: the unpacked /usr/bin then is not writable, as
# for a user of the installed package.
as_user=()
home=$work/home
mkdir -p "$home/runtime"
chmod 755 "$work"
chmod 700 "$home/runtime"
if [ "$(id -u)" -eq 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  chown -R nobody:nogroup "$home"
  if "${as_user[@]}" test -w "$root/usr/bin"; then fail "the unpacked /usr/bin is writable by nobody"; fi
fi

Xvfb -displayfd 3 -nolisten tcp -ac -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
program_pid=""
stop() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap stop EXIT
for _ in $(seq 300); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
  sleep 0.1
done
export DISPLAY=:$(head -n 1 "$work/display")

(cd "$home" && exec env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$home" LANG=C.UTF-8 \
  XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=xcb "${as_user[@]}" "$program") >"$work/program.log" 2>&1 &
program_pid=$!

# The first window: a viewable top-level window titled "About Mailvane".
about=""
for _ in $(seq 600); do
  kill -0 "$program_pid" 2>/dev/null || { cat "$work/program.log"; fail "the program ended"; }
  for id in $(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "About Mailvane *".*/\1/p'); do
    xwininfo -id "$id" | grep -q 'Map State: IsViewable' && about=$id
  done
  [ -n "$about" ] && break
  sleep 0.1
done
[ -n "$about" ] || { cat "$work/program.log"; fail "no about box appeared"; }
sed 's/^/program: /' "$work/program.log"
echo "about box: window $about, $(xwininfo -id "$about" | grep -E 'Width|Height' | tr -s ' \n' ' ')"

wm_class=$(xprop -id "$about" WM_CLASS)
echo "$wm_class"
startup_class=$(desktop_value "$root/usr/share/applications/$app_id.desktop" StartupWMClass)
grep -q ", \"$startup_class\"\$" <<<"$wm_class" \
  || fail "the window's class is not the desktop entry's StartupWMClass '$startup_class'"
[ -z "$(file_list "$root" | grep -v '^usr/')" ] || fail "the program wrote into its installed tree"
echo "PASS"
