#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/run-tests.sh             the suite (without tests labelled "long")
#   scripts/run-tests.sh --long      also the soak and stress tests
#   scripts/run-tests.sh --sanitize  the suite built with ASan + UBSan (build-asan/)
# Exit status is non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
ctest_args=(-LE long)
for arg in "$@"; do
    case "$arg" in
        --long) ctest_args=() ;;
        --sanitize) build_dir=build-asan; cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DPELORIN_SANITIZE=ON) ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh
cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}"
cmake --build "$build_dir" --parallel "$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
cd "$build_dir"
ctest --output-on-failure --parallel "$(nproc)" "${ctest_args[@]}"
