#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application in build/run.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${RUN_PACKAGES[@]}"
build_tree "$TOP/build" -DTERVAL_BUILD_TESTS=OFF -DTERVAL_BUILD_BENCH=OFF

RUN_DIR="$TOP/build/run"
mkdir -p "$RUN_DIR"
# The build has put the help pages, with the pictures it takes, in build/run/help.
[ -f "$RUN_DIR/help/index.html" ] || { echo "build/run/help is missing" >&2; exit 1; }
# The settings file is read from the working directory; keep the operator's.
[ -f "$RUN_DIR/config.ini" ] || cp "$TOP/resources/config.ini" "$RUN_DIR/config.ini"
# Without an instrument on USB serial, replay the generated build/run/mock.csv
# (the main page's "mock" button starts it); with one, talk to it.
if compgen -G '/dev/ttyUSB*' >/dev/null || compgen -G '/dev/ttyACM*' >/dev/null; then
    mock=0
else
    mock=1
    echo "No instrument found (/dev/ttyUSB*, /dev/ttyACM*): replaying mock.csv; press \"mock\" on the main page."
fi
ini="$RUN_DIR/config.ini"
if grep -q '^isMockData=' "$ini"; then
    sed -i "s/^isMockData=.*/isMockData=$mock/" "$ini"
elif grep -q '^\[Sensitivity\]' "$ini"; then
    sed -i "/^\[Sensitivity\]/a isMockData=$mock" "$ini"
else
    printf '\n[Sensitivity]\nisMockData=%s\n' "$mock" >> "$ini"
fi
cd "$RUN_DIR"
exec "$TOP/build/bin/Terval"
