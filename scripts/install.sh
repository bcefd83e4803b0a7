#!/usr/bin/env bash
# Builds Quillory if needed and installs it, into /usr/local unless told otherwise; as root or
# with sudo for the default prefix:
#   sudo ./scripts/install.sh [--prefix DIR]
# scripts/uninstall.sh with the same prefix removes it again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix=/usr/local
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || { echo "install.sh: --prefix needs a directory" >&2; exit 2; }; prefix="$2"; shift 2 ;;
    --prefix=*) prefix="${1#--prefix=}"; shift ;;
    -h|--help) echo "usage: $0 [--prefix DIR]   (DIR: /usr/local unless given)"; exit 0 ;;
    *) echo "install.sh: unknown argument $1" >&2; echo "usage: $0 [--prefix DIR]" >&2; exit 2 ;;
  esac
done
prefix="$(realpath -m "$prefix")"

"$root/scripts/install-deps.sh"
# The same build as scripts/build.sh, so that the two share build/; only the programs are built.
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORY_WINDOW=ON -DBUILD_TESTING=ON >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target quillory quillory-cli

# Only the copy into the prefix needs the rights to it.
target="$prefix"
while [ ! -e "$target" ]; do target="$(dirname "$target")"; done
SUDO=""
[ "$(id -u)" -ne 0 ] && [ ! -w "$target" ] && SUDO="sudo"
$SUDO cmake --install "$root/build" --prefix "$prefix" --strip
echo "Quillory installed in $prefix: $prefix/bin/quillory and $prefix/bin/quillory-cli, in the applications menu as Quillory."
