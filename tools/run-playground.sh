#!/usr/bin/env bash
# Builds the mapping playground (the web preset: the plug-in compiled to WebAssembly with
# Emscripten) and serves it on localhost until interrupted.
#
#   tools/run-playground.sh [PORT]        (default 8080; 0 picks a free port)
#
# Prints the address to open. Installs what is missing first, as the README's commands do.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh --web
bash tools/build-playground.sh
exec node web/serve.mjs build/web/web/site "${1:-8080}"
