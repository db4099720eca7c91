# Shared by start.sh and test.sh: install what is missing, then configure and
# build into a folder of the checkout.
set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

RUN_PACKAGES=(cmake g++ make pkg-config qtbase5-dev libqt5serialport5-dev libqt5serialbus5-dev
              libqcustomplot-dev libfftw3-dev libqt5svg5-dev fonts-noto-cjk)
TEST_PACKAGES=(socat xvfb python3-scipy python3-numpy python3-pandas libmodbus-dev nodejs clang-14 libclang-rt-14-dev)

install_missing() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_tree() {
    local dir=$1; shift
    cmake -S "$TOP" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# The second NMEA parser that the GPS tests compare with, from the npm
# registry into <build folder>/tools/node (not part of the checkout).
NMEA_ORACLE_PACKAGE=nmea-simple
NMEA_ORACLE_VERSION=3.3.0

install_node_tools() {
    local dir=$1/tools/node
    local manifest="$dir/node_modules/$NMEA_ORACLE_PACKAGE/package.json"
    if [ -f "$manifest" ] && grep -q "\"version\": *\"$NMEA_ORACLE_VERSION\"" "$manifest"; then
        return 0
    fi
    # Debian's nodejs leaves npm to a package of its own.
    command -v npm >/dev/null || install_missing npm
    echo "Installing $NMEA_ORACLE_PACKAGE@$NMEA_ORACLE_VERSION into $dir"
    mkdir -p "$dir"
    npm install --prefix "$dir" --no-save --no-audit --no-fund --loglevel=error \
        "$NMEA_ORACLE_PACKAGE@$NMEA_ORACLE_VERSION" >/dev/null
}
