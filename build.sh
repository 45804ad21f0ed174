#!/usr/bin/env bash
# Builds the two plug-ins and the `ambrel` host for Linux x86-64, Windows i686
# and Windows x86-64, installs the plug-ins and renders the demo:
#
#   ./build.sh          build, install, run the demo
#   ./build.sh test     build and run every test (unit, integration, Wine,
#                       AddressSanitizer + UBSan, ThreadSanitizer)
#   ./build.sh deps     only install the build and test dependencies
#
# Missing Debian packages are installed with apt-get when run as root or with
# sudo. JOBS (default: the number of processors) sets the build parallelism
# (tests run at most 4 at a time), BUILD_DIR the build root.
set -euo pipefail

cd "$(dirname "$0")"
ROOT=$PWD
BUILD=${BUILD_DIR:-$ROOT/build}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
TEST_JOBS=$((JOBS < 4 ? JOBS : 4))
export DEBIAN_FRONTEND=noninteractive

BUILD_PACKAGES=(cmake ninja-build g++ pkg-config libsndfile1-dev libebur128-dev
                g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
                libx11-dev libxext-dev libcairo2-dev libfreetype-dev fonts-liberation2 libstb-dev)
TEST_PACKAGES=(libgtest-dev googletest libbenchmark-dev binutils wine wine64 wine32:i386 ardour jackd2
               clang libclang-rt-dev
               xvfb xauth xdotool libxtst-dev x11-utils x11-apps dpf-plugins-vst zenity)

WINE_ENV=(WINEPREFIX="$BUILD/wineprefix" WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")

step() { printf '\n==> [%d:%02d] %s\n' $((SECONDS / 60)) $((SECONDS % 60)) "$*"; }

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

install_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        installed "$pkg" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
            sudo=(sudo)
        else
            echo "Missing packages: ${missing[*]}" >&2
            echo "Install them as root: apt-get install ${missing[*]}" >&2
            exit 1
        fi
    fi
    step "Installing ${missing[*]}"
    # The 32-bit Wine needs the i386 architecture.
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# configure DIR [cmake options...]
configure() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log" >&2
        exit 1
    }
}

# build DIR [targets...]
build() {
    local dir=$1
    shift
    if [ $# -gt 0 ]; then
        cmake --build "$dir" -j "$JOBS" --target "$@"
    else
        cmake --build "$dir" -j "$JOBS"
    fi
}

# The install layout of the main job: the Linux plug-ins into ~/.vst, the
# Windows ones into out/VstPlugins/32-bit and 64-bit, the tools into out/bin.
configure_all() {
    local tests=$1
    mkdir -p "$BUILD"
    configure "$BUILD/linux" -DBUILD_TESTING="$tests" -DAMBREL_BUILD_BENCH="$tests" -DAMBREL_SANITIZE= \
        -DAMBREL_WIN32_DIR="$BUILD/win-i686" -DAMBREL_WIN64_DIR="$BUILD/win-x86_64" \
        -DAMBREL_WINEPREFIX="$BUILD/wineprefix" \
        -DCMAKE_INSTALL_PREFIX="$ROOT/out" -DAMBREL_INSTALL_VSTDIR="$HOME/.vst"
    configure "$BUILD/win-i686" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-i686.cmake" \
        -DBUILD_TESTING="$tests" -DCMAKE_INSTALL_PREFIX="$ROOT/out" \
        -DAMBREL_INSTALL_VSTDIR=VstPlugins/32-bit -DAMBREL_TOOL_INSTALL_NAME=ambrel-win32
    configure "$BUILD/win-x86_64" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-x86_64.cmake" \
        -DBUILD_TESTING="$tests" -DCMAKE_INSTALL_PREFIX="$ROOT/out" \
        -DAMBREL_INSTALL_VSTDIR=VstPlugins/64-bit -DAMBREL_TOOL_INSTALL_NAME=ambrel-win64
}

build_targets() {
    local target
    for target in linux win-i686 win-x86_64; do
        step "Building $target"
        build "$BUILD/$target" "$@"
    done
}

main_job() {
    install_packages "${BUILD_PACKAGES[@]}"
    configure_all OFF
    build_targets NurAmbrel2 NurAmbrel ambrel

    step "Installing the plug-ins"
    local target
    for target in linux win-i686 win-x86_64; do
        cmake --install "$BUILD/$target"
    done
    echo "Linux:   $HOME/.vst/NurAmbrel2.so, $HOME/.vst/NurAmbrel.so"
    echo "Windows: $ROOT/out/VstPlugins/32-bit/*.dll and $ROOT/out/VstPlugins/64-bit/*.dll"
    echo "Tools:   $ROOT/out/bin/ambrel (Linux), ambrel-win32.exe, ambrel-win64.exe"

    step "Demo: the built-in demo through Nur Ambrel2 (Linux)"
    "$BUILD/linux/tools/ambrel" demo "$HOME/.vst/NurAmbrel2.so" "$ROOT/out/demo"
}

# One `ambrel validate` run in the background: NAME COMMAND...; the output
# goes to $BUILD/validate/NAME.log, the exit code to NAME.rc.
validate_run() {
    local name=$1 rc=0
    shift
    "$@" >"$BUILD/validate/$name.log" 2>&1 || rc=$?
    echo "$rc" >"$BUILD/validate/$name.rc"
}

# `ambrel validate` on our six plug-ins and on a third-party LinuxVST plug-in
# from Debian, $TEST_JOBS at a time. The Linux editors open on a private X server;
# the Windows builds run under Wine without a display, which skips their
# editor checks (and a 32-bit build is skipped whole where the kernel cannot
# start 32-bit programs, see tests/support/wine.sh). Our plug-ins keep their
# settings in a folder of this run.
validate_all() {
    local dir=$BUILD/validate xvfb=$ROOT/tests/support/with-xvfb.sh wine=$ROOT/tests/support/wine.sh
    local plugin target
    rm -rf "$dir" && mkdir -p "$dir/config"
    throttle() { while [ "$(jobs -rp | wc -l)" -ge "$TEST_JOBS" ]; do wait -n || true; done; }
    for plugin in NurAmbrel2 NurAmbrel; do
        throttle
        validate_run "linux-$plugin" env XDG_CONFIG_HOME="$dir/config" \
            "$xvfb" "$BUILD/linux/tools/ambrel" validate "$BUILD/linux/$plugin.so" &
        for target in win-x86_64 win-i686; do
            throttle
            validate_run "$target-$plugin" env -u DISPLAY "${WINE_ENV[@]}" \
                "$wine" "$BUILD/$target/tools/ambrel.exe" validate "Z:$BUILD/$target/$plugin.dll" &
        done
    done
    throttle
    validate_run third-party-3BandEQ "$xvfb" "$BUILD/linux/tools/ambrel" validate /usr/lib/vst/3BandEQ-vst.so &
    wait
    validate_report linux-NurAmbrel2 linux-NurAmbrel win-x86_64-NurAmbrel2 win-x86_64-NurAmbrel \
        win-i686-NurAmbrel2 win-i686-NurAmbrel third-party-3BandEQ
}

# The Linux plug-ins of the sanitizer build, through the sanitized ambrel.
validate_sanitized() {
    local plugin
    mkdir -p "$BUILD/validate/sanitized-config"
    for plugin in NurAmbrel2 NurAmbrel; do
        validate_run "sanitized-$plugin" env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
            XDG_CONFIG_HOME="$BUILD/validate/sanitized-config" \
            "$ROOT/tests/support/with-xvfb.sh" "$BUILD/asan/tools/ambrel" validate "$BUILD/asan/$plugin.so" &
    done
    wait
    validate_report sanitized-NurAmbrel2 sanitized-NurAmbrel
}

# Says how each run NAME... ended; fails when one failed.
validate_report() {
    local name rc failed=0
    for name in "$@"; do
        rc=$(cat "$BUILD/validate/$name.rc")
        if [ "$rc" -eq 0 ]; then
            echo "passed:  $name ($(tail -n 1 "$BUILD/validate/$name.log" | tr -d '\r'))"
        elif [ "$rc" -eq 77 ]; then
            echo "skipped: $name ($(tail -n 1 "$BUILD/validate/$name.log"))"
        else
            echo "FAILED:  $name" >&2
            grep -av '^PASS' "$BUILD/validate/$name.log" >&2 || true
            failed=1
        fi
    done
    return $failed
}

test_job() {
    local started=$SECONDS
    install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    configure_all ON
    build_targets

    step "Linux unit and integration tests, Windows builds under Wine"
    (cd "$BUILD/linux" && ctest -j "$TEST_JOBS" --output-on-failure --no-tests=error)

    step "Windows platform tests under Wine"
    local target
    for target in win-i686 win-x86_64; do
        (cd "$BUILD/$target" && env -u DISPLAY "${WINE_ENV[@]}" ctest --output-on-failure --no-tests=error)
    done

    step "ambrel validate: our six plug-ins and a third-party one"
    validate_all
    env "${WINE_ENV[@]}" wineserver -k 2>/dev/null || true

    step "AddressSanitizer and UndefinedBehaviorSanitizer"
    configure "$BUILD/asan" -DAMBREL_SANITIZE=address,undefined -DAMBREL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
    build "$BUILD/asan"
    # The plug-ins are loaded into the sanitized test programs. Ardour cannot
    # load sanitized plug-ins, and the Windows builds are checked above.
    # The libFuzzer runs carry their own sanitizers and ran above; the strip's
    # window test runs here with our own file chooser only (zenity is another
    # process, which the sanitizers do not see).
    (cd "$BUILD/asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest -j "$TEST_JOBS" --output-on-failure --no-tests=error -LE '^(ardour|fuzz)$' \
        -E '^PresetStripWindow\..*\.zenity$')
    validate_sanitized

    # The effect's concurrency tests, and the toolkit and editor tests, some of
    # which set values from other threads while the window thread draws.
    step "ThreadSanitizer: concurrency, toolkit and editor tests"
    configure "$BUILD/tsan" -DAMBREL_SANITIZE=thread -DAMBREL_BUILD_BENCH=OFF -DAMBREL_BUILD_TOOLS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
    build "$BUILD/tsan" ambrel_tests ambrel_gui_tests ambrel_editor_unit_tests
    local count
    count=$(cd "$BUILD/tsan" && ctest -N -R Concurrency | sed -n 's/^Total Tests: //p')
    if [ "${count:-0}" -eq 0 ]; then
        echo "No ConcurrencyTest found: nothing to run under ThreadSanitizer." >&2
        exit 1
    fi
    # ThreadSanitizer's shadow memory needs the classic address-space layout.
    (cd "$BUILD/tsan" && TSAN_OPTIONS="halt_on_error=1" setarch "$(uname -m)" -R \
        ctest -j "$TEST_JOBS" --output-on-failure -R Concurrency)
    local program
    for program in gui/ambrel_gui_tests editor/ambrel_editor_unit_tests; do
        TSAN_OPTIONS="halt_on_error=1" setarch "$(uname -m)" -R "$BUILD/tsan/tests/$program" --gtest_brief=1
    done

    # The plug-ins and the unit-test programs built with Clang (a build of
    # its own; the window and integration tests ran above with GCC). The
    # render checksums are those of the GCC builds, which all three targets
    # match bit for bit; Clang's builds round a few double-precision renders
    # differently, so they are left out here.
    step "Clang: the plug-ins and the unit tests"
    configure "$BUILD/clang" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DAMBREL_SANITIZE= \
        -DAMBREL_BUILD_TOOLS=OFF -DAMBREL_BUILD_BENCH=OFF -DAMBREL_FUZZ_SECONDS=0
    build "$BUILD/clang" NurAmbrel2 NurAmbrel ambrel_tests ambrel_gui_tests ambrel_editor_unit_tests
    "$BUILD/clang/tests/ambrel_tests" --gtest_brief=1 --gtest_filter='-*RenderChecksums*'
    for program in gui/ambrel_gui_tests editor/ambrel_editor_unit_tests; do
        "$BUILD/clang/tests/$program" --gtest_brief=1
    done

    step "All tests passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
}

case "${1:-}" in
"") main_job ;;
test) test_job ;;
deps) install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" ;;
-h | --help | help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//' ;;
*)
    echo "usage: ./build.sh [test|deps]" >&2
    exit 2
    ;;
esac
