#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in, the emulated host and
# opkit-host, and runs the demo script on the emulated terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native
build/native/opkit-host run examples/demo.txt "$@"
