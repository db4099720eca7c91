# Shared by start.sh and test.sh: install what is missing, then configure and
# build into a folder of the checkout.
set -euo pipefail

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

RUN_PACKAGES=(cmake g++ make pkg-config qtbase5-dev libqt5serialport5-dev libqt5serialbus5-dev
              libqcustomplot-dev libfftw3-dev libqt5svg5-dev fonts-noto-cjk)
TEST_PACKAGES=(socat xvfb python3-scipy python3-numpy python3-pandas libmodbus-dev clang-14 libclang-rt-14-dev)

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
