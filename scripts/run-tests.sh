#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
#   scripts/run-tests.sh             the suite (without tests labelled "long")
#   scripts/run-tests.sh --long      also the soak and stress tests
#   scripts/run-tests.sh --sanitize  the suite built with ASan + UBSan (build-asan/)
#   scripts/run-tests.sh --tsan      the suite built with ThreadSanitizer (build-tsan/);
#                                    tests/tsan/ says what it is told about Qt
# --long combines with either sanitizer. Exit status is non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
ctest_args=(-LE long)
skip=()
run=()
for arg in "$@"; do
    case "$arg" in
        --long) ctest_args=() ;;
        --sanitize) build_dir=build-asan; cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DPELORIN_SANITIZE=ON) ;;
        --tsan)
            build_dir=build-tsan; cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIN_TSAN=ON)
            # tst_long_devserver makes and checks 4 GiB byte by byte in instrumented code:
            # beyond QtTest's five minutes per function under the sanitizer.
            skip=(-E '^tst_long_devserver$') ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

scripts/install-deps.sh
cmake -S . -B "$build_dir" -G Ninja "${cmake_args[@]}"
cmake --build "$build_dir" --parallel "$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
# A report does not stop the test; the test fails at its end (exit status 66). A
# longer history lets the sanitizer show both stacks of a race. Options given in
# TSAN_OPTIONS come last and win.
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan/suppressions.txt halt_on_error=0 second_deadlock_stack=1 history_size=5 ${TSAN_OPTIONS:-}"
# GCC 12's ThreadSanitizer cannot map its shadow memory when the kernel randomises
# more than 28 bits of the address space ("unexpected memory mapping"): run the tests
# without address randomisation then.
if [ "$build_dir" = build-tsan ] && [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
    run=(setarch "$(uname -m)" -R)
fi
cd "$build_dir"
"${run[@]}" ctest --output-on-failure --parallel "$(nproc)" "${ctest_args[@]}" "${skip[@]}"
