#!/bin/sh
# cmake --install into a fresh prefix: one program directory with the program, ctdb, the
# manual, its images and a new database; a menu entry naming that program; the icon.
#   install_test.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL - $*"; exit 1; }
cmake --install "$build" --prefix "$prefix" >/dev/null
app="$prefix/lib/ctwork"
for f in ctwork ctdb help.htm ctsource.mdb; do
    [ -f "$app/$f" ] || fail "missing $app/$f"
done
[ -x "$app/ctwork" ] || fail "ctwork not executable"
# Every image the manual shows was installed with it.
for img in $(grep -o 'src="images/[^"]*"' "$app/help.htm" | sed 's/src="//; s/"$//'); do
    [ -f "$app/$img" ] || fail "missing $app/$img"
done
"$app/ctdb" check "$app" >/dev/null || fail "the new database does not check"
desktop="$prefix/share/applications/ctwork.desktop"
[ -f "$desktop" ] || fail "no desktop file"
grep -qx "Exec=\"$app/ctwork\"" "$desktop" || fail "Exec does not name $app/ctwork"
grep -qx "Icon=ctwork" "$desktop" || fail "no Icon=ctwork"
grep -qx "Name=澄桐工作管理" "$desktop" || fail "no Name"
[ -f "$prefix/share/icons/hicolor/64x64/apps/ctwork.png" ] || fail "no icon"
[ "$(identify -format %wx%h "$prefix/share/icons/hicolor/128x128/apps/ctwork.png")" = 128x128 ] || fail "no 128x128 icon"
[ "$(readlink -f "$prefix/bin/ctwork")" = "$(readlink -f "$app/ctwork")" ] || fail "bin/ctwork link"
[ "$(readlink -f "$prefix/bin/ctdb")" = "$(readlink -f "$app/ctdb")" ] || fail "bin/ctdb link"
# ctdb through its link works on the database beside the program, from any directory.
(cd / && "$prefix/bin/ctdb" check >/dev/null) || fail "bin/ctdb check does not find the database"
# The menu entry as the desktop's own checker reads it: any error or warning fails.
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is not installed"
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
# A second install keeps the data.
before=$(cksum <"$app/ctsource.mdb")
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(cksum <"$app/ctsource.mdb")" = "$before" ] || fail "reinstall changed the database"
echo "install layout ok"
