#!/usr/bin/env bash
# Removes an installed Quillory: the files its install listed in PREFIX/share/quillory, nothing
# else. As root or with sudo for the default prefix:
#   sudo ./scripts/uninstall.sh [--prefix DIR]      (DIR: /usr/local unless given)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix=/usr/local
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) [ $# -ge 2 ] || { echo "uninstall.sh: --prefix needs a directory" >&2; exit 2; }; prefix="$2"; shift 2 ;;
    --prefix=*) prefix="${1#--prefix=}"; shift ;;
    -h|--help) echo "usage: $0 [--prefix DIR]   (DIR: /usr/local unless given)"; exit 0 ;;
    *) echo "uninstall.sh: unknown argument $1" >&2; echo "usage: $0 [--prefix DIR]" >&2; exit 2 ;;
  esac
done
prefix="$(realpath -m "$prefix")"
if [ ! -f "$prefix/share/quillory/install_manifest.txt" ]; then
  echo "uninstall.sh: no Quillory installed in $prefix (no share/quillory/install_manifest.txt there)" >&2
  exit 1
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && [ ! -w "$prefix" ] && SUDO="sudo"
$SUDO cmake -DPREFIX="$prefix" -P "$root/cmake/Uninstall.cmake"
echo "Quillory removed from $prefix."
