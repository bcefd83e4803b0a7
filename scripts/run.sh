#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillory.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "$root/build/src/cli/quillory-cli" list "$root/samples" "$@"
