#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application in build/run.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${RUN_PACKAGES[@]}"
build_tree "$TOP/build" -DTERVAL_BUILD_TESTS=OFF -DTERVAL_BUILD_BENCH=OFF

RUN_DIR="$TOP/build/run"
mkdir -p "$RUN_DIR"
# The settings file is read from the working directory; keep the operator's.
[ -f "$RUN_DIR/config.ini" ] || cp "$TOP/resources/config.ini" "$RUN_DIR/config.ini"
cd "$RUN_DIR"
exec "$TOP/build/bin/Terval"
