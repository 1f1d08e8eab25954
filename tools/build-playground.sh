#!/usr/bin/env bash
# Configures and builds the web preset; the page and its module land in
# build/web/web/site/. Debian's Emscripten finds the acorn module it needs only when
# NODE_PATH includes /usr/share/nodejs, where Debian keeps it.
set -euo pipefail
cd "$(dirname "$0")/.."
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
source tools/build-step.sh
build_preset web build/web.log
