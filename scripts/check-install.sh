#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, validates what the desktop reads
# (desktop entry, AppStream metainfo, hicolor icons) and builds the Debian package.
#   scripts/check-install.sh BUILD_DIR
# Exit status is non-zero on any failure. Registered with CTest as install_package.
set -euo pipefail
build_dir=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
app_id=net.kelvarhold.PelorinClient
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build_dir" --prefix "$prefix" > "$work/install.log"
share="$prefix/share"
[ -x "$prefix/bin/pelorin-client" ] || fail "no program in bin/"
desktop-file-validate "$share/applications/$app_id.desktop"
appstreamcli validate --no-net --explain "$share/metainfo/$app_id.metainfo.xml"
[ -s "$share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    [ -s "$png" ] || fail "no ${size}x${size} icon"
    file -b "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a ${size}x${size} PNG"
done
# The entry's Icon= and Exec= name what was installed.
grep -qx "Icon=$app_id" "$share/applications/$app_id.desktop" || fail "desktop entry names another icon"
grep -qx "Exec=pelorin-client" "$share/applications/$app_id.desktop" || fail "desktop entry starts another program"

# The package: built from the same tree, with the runtime libraries as dependencies.
(cd "$work" && cpack -G DEB -B "$work/package" --config "$build_dir/CPackConfig.cmake" > "$work/cpack.log") \
    || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/package/pelorin-client_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6network6 libqt6svg6 libcurl4 qt6-qpa-plugins; do
    grep -q "$needed" <<< "$depends" || fail "package does not depend on $needed: $depends"
done
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/pelorin-client "./usr/share/applications/$app_id.desktop" \
        "./usr/share/metainfo/$app_id.metainfo.xml" "./usr/share/icons/hicolor/256x256/apps/$app_id.png"; do
    grep -qF "$path" <<< "$contents" || fail "package lacks $path"
done
echo "installed, validated and packaged: $(basename "$deb")"
