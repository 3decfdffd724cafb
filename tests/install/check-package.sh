#!/usr/bin/env bash
# Builds the Debian package into a temporary folder and checks its layout and control data.
set -uo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$out"/corvane-studio_*_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { echo "FAIL: no corvane-studio_<version>_<arch>.deb"; ls "$out"; exit 1; }
contents=$(dpkg-deb --contents "$deb")
info=$(dpkg-deb --info "$deb")
libdir=$(sed -n 's/^CORVANE_INSTALL_LIBDIR:INTERNAL=//p' "$build/CMakeCache.txt")
for path in ./usr/bin/corvane-studio ./usr/bin/corvane-studio-updater ./usr/bin/corvane-studio-uninstaller \
            "./usr/$libdir/liborlith.so" "./usr/$libdir/libqd4718updater.so" "./usr/$libdir/libplatform.so" \
            ./usr/share/corvane-studio/Config.json ./usr/share/corvane-studio-uninstaller/script.sh \
            ./usr/share/corvane-studio-uninstaller/script_all.sh \
            ./usr/share/applications/com.kestova.CorvaneStudio.desktop \
            ./usr/share/icons/hicolor/256x256/apps/com.kestova.CorvaneStudio.png \
            ./usr/lib/udev/rules.d/70-corvane-studio.rules \
            ./usr/share/polkit-1/actions/com.kestova.CorvaneStudio.uninstall.policy \
            "./var/lib/Corvane Studio/localizable/en.json"; do
  grep -qF " $path" <<<"$contents" || fail "the package lacks $path"
done
grep -q '^ Package: corvane-studio$' <<<"$info" || fail "package name"
grep -q '^ Depends:.*libqt6core6' <<<"$info" || fail "run-time dependencies found by shlibdeps"
grep -q 'postinst' <<<"$info" || fail "the udev reload in the maintainer scripts"
# The policy in the package names the script where the package puts it.
# Read whole before the match: with pipefail, a grep -q that stops early fails the pipeline.
policy=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/polkit-1/actions/com.kestova.CorvaneStudio.uninstall.policy)
grep -q '>/usr/share/corvane-studio-uninstaller/script.sh<' <<<"$policy" || fail "the policy names /usr's script"
if [ $failures -gt 0 ]; then echo "package check: $failures failure(s)"; exit 1; fi
echo "package check: $(basename "$deb") with the expected layout and dependencies"
