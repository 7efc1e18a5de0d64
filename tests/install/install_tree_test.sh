#!/usr/bin/env bash
# install_tree_test.sh BUILD_DIR SOURCE_DIR MAKE_DEMO_FILES
# Installs into a temporary DESTDIR and checks what a desktop sees there: valid
# desktop entries and metainfo, icons at every size, file types recognised by
# name and by content and opened by the right program, man pages that render
# cleanly, and programs that start from the installed location.
set -uo pipefail
build=$1 source=$2 make_demo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
share=$root/usr/share
apps=(zelmor vantor kestrin)

# Desktop entries and metainfo; every Icon= has the SVG and each PNG size.
for app in "${apps[@]}"; do
  id=example.orvane.$app
  entry=$share/applications/$id.desktop
  out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate $id: $out"
  [ -z "$out" ] || fail "desktop-file-validate $id: $out"
  appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" >"$work/as.log" 2>&1 ||
    fail "appstreamcli $id: $(cat "$work/as.log")"
  shot=$(sed -n 's|.*<image[^>]*>.*/\([^/<]*\.png\)</image>.*|\1|p' "$share/metainfo/$id.metainfo.xml")
  [ -n "$shot" ] && [ -f "$source/desktop/screenshots/$shot" ] || fail "$id: screenshot '$shot' not in the tree"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$id: no scalable icon $icon"
  for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$icon.png
    file "$png" | grep -q "PNG image data, $size x $size" || fail "$id: $png is not a ${size}x${size} PNG"
  done
  grep -q "^Exec=$app\b" "$entry" || fail "$id: Exec does not start $app"
done

# Session-bus activation starts the installed programs hidden.
for pair in zelmor:Zelmor vantor:Vantor; do
  service=$share/dbus-1/services/example.orvane.${pair#*:}.service
  grep -qx "Exec=/usr/bin/${pair%%:*} --automation" "$service" 2>/dev/null ||
    fail "$(basename "$service"): missing or not starting /usr/bin/${pair%%:*} --automation"
done

# File types: by extension and, for the marked binary files, by content; each
# document type opens with its program.
"$make_demo" "$work/demo" 127.0.0.1 1502 >/dev/null || fail "make_demo_files"
# values.mod is a register list written by zelmor's value-list writer; a coil
# list is the tag 0 and 2000 bytes of 0 or 1.
printf '\000\000\000\000' >"$work/demo/coils.mod" && head -c 2000 /dev/zero | tr '\0' '\1' >>"$work/demo/coils.mod"
# Tracker music sharing the extension: a 20-byte song title, zeros for the 31
# sample records, song length and order table, then "M.K." at offset 1080. One has a named
# song, one an empty title (zeros, as a value list starts).
tracker() {  # file title
  { printf '%-20s' "$2" | tr ' ' '\0'; head -c 1060 /dev/zero; printf 'M.K.'; head -c 1024 /dev/urandom; } >"$1"
}
tracker "$work/demo/song.mod" "space debris"
tracker "$work/demo/untitled.mod" ""
# One database with the system's types, as after installing into /usr: *.mod
# is also claimed by tracker music and object files, and the content must
# settle it. xdg-mime asks GIO, as the file managers do.
cp /usr/share/mime/packages/freedesktop.org.xml "$share/mime/packages/"
export XDG_DATA_HOME=$share XDG_DATA_DIRS=$share XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/config
export XDG_CURRENT_DESKTOP=GNOME
unset KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID DESKTOP_SESSION
update-mime-database "$share/mime" || fail "update-mime-database"
update-desktop-database "$share/applications" || fail "update-desktop-database"
check_type() {  # file expected-type
  local got
  got=$(xdg-mime query filetype "$1" 2>&1)
  [ "$got" = "$2" ] || fail "xdg-mime query filetype $(basename "$1"): '$got', expected $2"
}
check_type "$work/demo/counters.zmd" application/x-zelmor-document
check_type "$work/demo/demo.zmw" application/x-zelmor-workspace
check_type "$work/demo/values.mod" application/x-zelmor-values
check_type "$work/demo/coils.mod" application/x-zelmor-values
check_type "$work/demo/song.mod" audio/x-mod
check_type "$work/demo/untitled.mod" audio/x-mod
check_type "$work/demo/registers.vnd" application/x-vantor-definition
check_type "$work/demo/demo.vnw" application/x-vantor-workspace
mkdir "$work/bare"
for pair in counters.zmd:application/x-zelmor-document demo.zmw:application/x-zelmor-workspace \
            coils.vnd:application/x-vantor-definition demo.vnw:application/x-vantor-workspace; do
  cp "$work/demo/${pair%%:*}" "$work/bare/${pair%%.*}-no-extension"
  check_type "$work/bare/${pair%%.*}-no-extension" "${pair#*:}"
done
for pair in application/x-zelmor-document:zelmor application/x-zelmor-workspace:zelmor \
            application/x-vantor-definition:vantor application/x-vantor-workspace:vantor; do
  got=$(xdg-mime query default "${pair%%:*}")
  [ "$got" = "example.orvane.${pair#*:}.desktop" ] || fail "default for ${pair%%:*}: '$got'"
done

# The licence: LICENSE at the root, and the package's machine-readable copyright
# file carrying the same text.
copyright=$share/doc/orvane-modbus-suite/copyright
if [ -f "$copyright" ]; then
  head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "copyright: no Format line"
  grep -q '^Files: \*$' "$copyright" || fail "copyright: no Files: * paragraph"
  # Each License: short name used by a Files paragraph has a stand-alone paragraph with its text.
  for name in $(awk '/^Files:/{f=1} /^$/{f=0} f && /^License:/{print $2}' "$copyright" | sort -u); do
    awk -v n="$name" 'BEGIN{p=1} /^$/{p=1; next} p && $0 == "License: " n {getline t; ok = t ~ /^ /} {p=0} END{exit !ok}' \
      "$copyright" || fail "copyright: no text for the licence $name"
  done
  awk 'BEGIN{p=1} /^$/{p=1; t=0; next} p && $0 == "License: LicenseRef-proprietary" {t=1; p=0; next} {p=0} t' \
    "$copyright" | sed 's/^ //;s/^\.$//' >"$work/license.txt"
  cmp -s "$work/license.txt" "$source/LICENSE" || fail "copyright: the licence text differs from LICENSE"
else
  fail "no $copyright"
fi
# The changelog a Debian package carries, for the project's version.
zcat "$share/doc/orvane-modbus-suite/changelog.gz" >"$work/changelog" 2>/dev/null || fail "no changelog.gz"
version=$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Version 2>&1)" = "$version" ] || fail "changelog: not version $version"
[ -s "$source/LICENSE" ] || fail "no LICENSE at the root"
[ ! -e "$share/doc/orvane-modbus-suite/LICENSE" ] || fail "LICENSE installed beside copyright"

# Man pages render without warnings.
for app in "${apps[@]}"; do
  page=$share/man/man1/$app.1.gz
  warnings=$(MANWIDTH=80 man -l --warnings "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $app: $warnings"
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "EXIT STATUS" || fail "man $app: no EXIT STATUS section"
done

# The installed programs start from their installed place without a display,
# and zelmor's help page is where Help Topics looks for it.
unset DISPLAY WAYLAND_DISPLAY
for app in "${apps[@]}"; do
  out=$("$root/usr/bin/$app" --help 2>&1) || fail "$app --help exited with $?"
  echo "$out" | grep -qi "usage: $app" || fail "$app --help: $out"
  [ "$("$root/usr/bin/$app" --version 2>&1)" = "$app $(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")" ] ||
    fail "$app --version"
done
# The whole text first: grep -q stops reading at the match, and a long help text
# would then end its writer with SIGPIPE under pipefail.
zelmor_help=$("$root/usr/bin/zelmor" --headless --help) && grep -q -- "--poll SLAVE:FUNCTION" <<<"$zelmor_help" ||
  fail "zelmor --headless --help"
vantor_help=$("$root/usr/bin/vantor" --headless --help) && grep -q -- "--slave ID:TABLE" <<<"$vantor_help" ||
  fail "vantor --headless --help"
cmp -s "$root/usr/bin/../share/zelmor/zelmor-help.html" "$source/docs/zelmor-help.html" || fail "help page not installed"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "install tree ok"
