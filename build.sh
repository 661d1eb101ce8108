#!/usr/bin/env bash
# Installs what is missing, builds, then runs the client or the tests.
#   ./build.sh run    build and start the client against the bundled demo server
#   ./build.sh test   build and run every test
#   ./build.sh sanitize  build with AddressSanitizer and UBSan into build-asan/
#                        and run every test there
#   ./build.sh fuzz [seconds]  build the fuzz targets with clang, ASan and UBSan
#                        into build-fuzz/ and run each for that long (60 s);
#                        findings land in build-fuzz/fuzz/found/<target>/
set -euo pipefail

cd "$(dirname "$0")"
here=$(pwd)
build=${VORNEX_BUILD_DIR:-$here/build}

packages=(cmake ninja-build g++ pkg-config
          qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
          gsoap libgsoap-dev libssl-dev zlib1g-dev openssl
          python3-zeep)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages: ${missing[*]}" >&2
            echo "This needs root to install them, and there is no sudo here. As root, run:" >&2
            echo "    apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
            echo "then run $0 again." >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_all() {
    cmake -S "$here" -B "$build" -G Ninja "$@"
    cmake --build "$build" --parallel "$(nproc)"
}

run_client() {
    local bin=$build/bin
    local demo=$bin/vornex-testserver
    local pid=""
    if [ -x "$demo" ]; then
        local state=$build/demo
        mkdir -p "$state"
        # The server announces itself in a system-wide settings folder of
        # its own, which the client's XDG_CONFIG_DIRS starts with, so the
        # client finds it as a local server (never /etc).
        rm -rf "$state/xdg"
        "$demo" --demo --port 51008 --work-dir "$state/work" --register "$state/xdg" > "$state/server.log" 2>&1 &
        pid=$!
        trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null || true' EXIT
        export XDG_CONFIG_DIRS="$state/xdg:${XDG_CONFIG_DIRS:-/etc/xdg}"
        local started=""
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            if grep -q '^vornex-testserver listening' "$state/server.log" 2>/dev/null; then
                started=yes
                break
            fi
            sleep 0.1
        done
        if [ -n "$started" ]; then
            echo "Demo workflow server on http://127.0.0.1:51008 (user \"user\", no password); log: $state/server.log"
        else
            kill "$pid" 2>/dev/null || true
            pid=""
            echo "The demo workflow server did not start, so the client will not find it:" >&2
            sed -e 's/^/    /' "$state/server.log" | tail -n 5 >&2
            if grep -qi 'in use' "$state/server.log"; then
                echo "Port 51008 is taken, most likely by a demo server still running from an earlier start." >&2
            fi
            echo "Starting the client anyway; servers added on its Connections page work as usual." >&2
        fi
    fi
    "$bin/VORNEXclient" "$@"
}

run_tests() {
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 600
}

run_fuzzers() {
    local seconds=${1:-60}
    local out=$build/fuzz
    "$build/tests/bin/fuzz_replay" --make-seeds "$out/seeds"
    for target in envelope records cache; do
        mkdir -p "$out/corpus/$target" "$out/found/$target"
        echo "Fuzzing $target for $seconds s"
        # Findings are kept and the run goes on to the next target.
        VORNEX_BIN_DIR=$build/bin ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
            "$out/fuzz_$target" "$out/corpus/$target" "$out/seeds/$target" \
            -max_total_time="$seconds" -max_len=65536 -timeout=20 -rss_limit_mb=4096 \
            -print_final_stats=1 -artifact_prefix="$out/found/$target/" || true
    done
    echo "Findings (replay with: $build/tests/bin/fuzz_replay <target> <file>):"
    find "$out/found" -type f | sed -e 's/^/    /'
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
    run)  install_missing; build_all; run_client "$@" ;;
    test) install_missing; build_all; run_tests ;;
    sanitize)
        build=$here/build-asan
        install_missing; build_all -DVORNEX_SANITIZE=ON; run_tests ;;
    fuzz)
        build=$here/build-fuzz
        packages+=(clang)
        install_missing
        cmake -S "$here" -B "$build" -G Ninja -DVORNEX_FUZZ=ON \
            -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
        cmake --build "$build" --parallel "$(nproc)" --target fuzz_envelope fuzz_records fuzz_cache fuzz_replay
        run_fuzzers "$@" ;;
    *)    echo "usage: $0 run|test|sanitize|fuzz [seconds]" >&2; exit 2 ;;
esac
