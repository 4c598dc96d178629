#!/usr/bin/env bash
# Sets up, builds and starts the monitor.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/tools/deps.sh"
"$here/tools/build.sh" build
exec "$here/build/bin/veltran" "$@"
