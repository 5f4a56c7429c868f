#!/bin/sh
# 澄桐工作管理: install what is missing, build, then run the program or the tests.
#   scripts/ct.sh run    build and start the program (an empty database is made when none is there)
#   scripts/ct.sh test   build and run every test, without a display
set -eu
cd "$(dirname "$0")/.."

PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins \
libgl-dev libsqlcipher-dev sqlcipher xvfb xauth at-spi2-core dbus-x11 python3-pyatspi \
python3-gi faketime fonts-noto-cjk imagemagick xdotool \
libsm-dev libice-dev x11-utils libical-dev python3-vobject python3-icalendar openbox \
desktop-file-utils clang libclang-rt-14-dev qt6-wayland weston qtkeychain-qt6-dev \
radicale xandikos python3-caldav gnome-keyring dbus openssl vdirsyncer khard cmark gdb"

install_missing() {
    missing=""
    for p in $PACKAGES; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $p"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
}

# Each stage of the test command says how long it took.
stage_start=$(date +%s)
stage() {
    now=$(date +%s)
    echo "== $1: $((now - stage_start)) s"
    stage_start=$now
}

build() {
    dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
}

case "${1:-}" in
run)
    install_missing
    build build -DCMAKE_BUILD_TYPE=Release
    [ -e build/bin/ctsource.mdb ] || build/bin/ctdb init build/bin
    exec build/bin/ctwork
    ;;
test)
    install_missing
    stage "install"
    build build -DCMAKE_BUILD_TYPE=Release
    stage "release build"
    ctest --test-dir build --output-on-failure -j2 -LE e2e
    stage "unit, widget, fault and sync tests"
    ctest --test-dir build --output-on-failure -L e2e
    stage "desktop journeys"
    # Once more with AddressSanitizer and UndefinedBehaviorSanitizer (unit, widget and fault
    # tests; the sync scenarios run the same code paths against real servers above).
    # Line tables only (-g1): the sanitizers' reports keep file and line, the build is faster.
    build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCT_SANITIZE=ON \
        -DCT_BUILD_BENCH=OFF
    stage "sanitizer build"
    ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j2 -LE "e2e|sync"
    stage "sanitizer tests"
    # The libFuzzer targets: a build of their own with clang, each run for a bounded time.
    build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        -DCMAKE_CXX_COMPILER=clang++ -DCT_FUZZ=ON
    stage "fuzz build"
    ctest --test-dir build-fuzz --output-on-failure -j2 -L fuzz
    stage "fuzz runs"
    ;;
*)
    echo "usage: scripts/ct.sh run | test" >&2
    exit 2
    ;;
esac
