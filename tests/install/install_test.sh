#!/bin/sh
# Installs the build into a temporary tree (DESTDIR) and checks what a desktop needs of it: the
# files in their places, programs that answer --version without a display, a desktop entry that
# validates, a MIME package the MIME database takes, man pages that render, and an uninstall that
# removes every file again.
#   install_test.sh BUILD_DIR SOURCE_DIR VERSION WINDOW(ON|OFF)
# Exits 77 (skipped) when a checking tool is missing; scripts/install-deps.sh installs them all.
set -eu
build=$1 source=$2 version=$3 window=$4

for tool in cmake desktop-file-validate update-mime-database man xmllint od; do
  command -v "$tool" >/dev/null 2>&1 || { echo "install_test: $tool is missing, skipped"; exit 77; }
done
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillory-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

DESTDIR="$tmp/stage" cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log" >&2; fail "cmake --install failed"; }
prefix="$tmp/stage/usr"

# Every file, and nothing else.
expected="bin/quillory-cli
share/man/man1/quillory-cli.1
share/quillory/install_manifest.txt"
if [ "$window" = ON ]; then
  expected="$expected
bin/quillory
share/applications/quillory.desktop
share/icons/hicolor/128x128/apps/quillory.png
share/icons/hicolor/16x16/apps/quillory.png
share/icons/hicolor/256x256/apps/quillory.png
share/icons/hicolor/32x32/apps/quillory.png
share/icons/hicolor/48x48/apps/quillory.png
share/icons/hicolor/scalable/apps/quillory.svg
share/man/man1/quillory.1
share/mime/packages/quillory.xml"
fi
printf '%s\n' "$expected" | LC_ALL=C sort >"$tmp/expected"
(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$tmp/found"
diff -u "$tmp/expected" "$tmp/found" >&2 || fail "the installed files differ from the expected ones"

out=$("$prefix/bin/quillory-cli" --version) || fail "quillory-cli --version failed"
[ "$out" = "quillory-cli $version" ] || fail "quillory-cli --version said: $out"
pages="quillory-cli"
if [ "$window" = ON ]; then
  # The window answers before anything graphical starts: no display, and a platform that does not
  # exist, are no hindrance.
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-platform "$prefix/bin/quillory" --version) ||
    fail "quillory --version failed"
  [ "$out" = "quillory $version" ] || fail "quillory --version said: $out"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-platform "$prefix/bin/quillory" --help) ||
    fail "quillory --help failed"
  case $out in "Usage: quillory [PATH]"*) ;; *) fail "quillory --help said: $out" ;; esac
  for name in QUILLORY_CHOOSE_DIR XDG_CONFIG_HOME QTWEBENGINE_DISABLE_SANDBOX QT_QPA_PLATFORM QT_QUICK_BACKEND; do
    printf '%s\n' "$out" | grep -q "^  $name " || fail "quillory --help does not name $name"
  done
  pages="quillory quillory-cli"

  desktop-file-validate "$prefix/share/applications/quillory.desktop" || fail "the desktop entry does not validate"
  grep -qx 'Exec=quillory %f' "$prefix/share/applications/quillory.desktop" || fail "the desktop entry does not pass the file"

  # Each size is a PNG of that size: width and height are the big-endian words at bytes 16 and 20.
  for size in 16 32 48 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/quillory.png"
    words=$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
    word="0 0 $((size / 256)) $((size % 256))"
    [ "$words" = "$word $word" ] || fail "$png is not $size by $size: $words"
  done

  mime="$prefix/share/mime/packages/quillory.xml"
  xmllint --noout "$mime" || fail "the MIME package is not well-formed XML"
  mkdir -p "$tmp/mime/packages"
  cp "$mime" "$tmp/mime/packages/"
  # Named in XDG_DATA_DIRS, the folder draws no note that applications would not look there.
  XDG_DATA_DIRS="$tmp" update-mime-database "$tmp/mime" >"$tmp/mime.log" 2>&1 || { cat "$tmp/mime.log" >&2; fail "update-mime-database refused the package"; }
  [ ! -s "$tmp/mime.log" ] || { cat "$tmp/mime.log" >&2; fail "update-mime-database warned about the package"; }
  grep -q '^50:application/x-dbx-mail-folder:\*\.dbx$' "$tmp/mime/globs2" || fail "no *.dbx glob in the database"
  [ -f "$tmp/mime/application/x-dbx-mail-folder.xml" ] || fail "the database has no mail-folder type"
  od -An -tx1 -v "$tmp/mime/magic" | tr -d '\n' | grep -q 'cf ad 12 fe' || fail "the database has no magic for mail folders"
fi

for page in $pages; do
  file="$prefix/share/man/man1/$page.1"
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" >"$tmp/page.txt" 2>"$tmp/page.err" || fail "man -l $file failed"
  [ ! -s "$tmp/page.err" ] || { cat "$tmp/page.err" >&2; fail "man -l $file warned"; }
  grep -q "^       $page - " "$tmp/page.txt" || fail "$file has no NAME line for $page"
  grep -q "Quillory $version" "$tmp/page.txt" || fail "$file does not give version $version"
done

# The uninstall removes every file the install listed, and the list itself.
cmake -DPREFIX="$prefix" -P "$source/cmake/Uninstall.cmake" >"$tmp/uninstall.log" 2>&1 ||
  { cat "$tmp/uninstall.log" >&2; fail "the uninstall failed"; }
left=$(cd "$prefix" && find . -type f)
[ -z "$left" ] || fail "the uninstall left: $left"
echo "install_test: all checks passed"
