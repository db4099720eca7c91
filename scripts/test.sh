#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# TERVAL_SANITIZE=1 builds and tests with AddressSanitizer and UBSan instead.
# Then every fuzz target replays its corpus and runs a fixed number of
# inputs from a fixed seed (tests/fuzz/run_fuzz.sh).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

if [ "${TERVAL_SANITIZE:-0}" = 1 ]; then
    dir="$TOP/build-asan"
    build_tree "$dir" -DTERVAL_SANITIZE=ON
else
    dir="$TOP/build"
    build_tree "$dir"
fi
install_node_tools "$dir"
cd "$dir"
# The suites mostly wait on ports, timers and peers: four at a time keeps
# the run short without starving the timing checks.
ctest -j4 --output-on-failure --no-label-summary --timeout 300
bash "$TOP/tests/fuzz/run_fuzz.sh"
