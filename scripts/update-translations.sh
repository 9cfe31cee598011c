#!/usr/bin/env bash
# Re-reads every tr() text of the sources into translations/pelorinclient_*.ts:
# new texts arrive marked "unfinished" for the translator, texts gone from the
# sources are dropped. Run after changing visible texts, then translate what
# Qt Linguist (or a text editor) shows as unfinished; tst_translations fails until
# the German file is complete.
#   scripts/update-translations.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
[ -f "$build_dir/CMakeCache.txt" ] || cmake -S . -B "$build_dir" -G Ninja
cmake --build "$build_dir" --target update_translations
echo "unfinished messages per file:"
grep -c 'type="unfinished"' translations/*.ts || true
