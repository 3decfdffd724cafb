#!/usr/bin/env bash
# Builds the Debian package into a temporary folder and checks it as Debian would: its layout and
# control data, stripped programs with their debug information in the -dbgsym package, lintian
# with no error and no warning that the package's overrides do not give a reason for, its sizes,
# and the install, reinstall, upgrade, remove and purge cycle (package-cycle.sh).
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# A build under AddressSanitizer or ThreadSanitizer: its programs carry their instrumentation and
# go without Debian's hardening flags; nobody ships that package.
sanitizer_build() { grep -qE '^CORVANE_(SANITIZE|TSAN):BOOL=ON' "$build/CMakeCache.txt"; }

(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$out"/corvane-studio_*_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { echo "FAIL: no corvane-studio_<version>_<arch>.deb"; ls "$out"; exit 1; }
ddeb=$(ls "$out"/corvane-studio-dbgsym_*_*.ddeb 2>/dev/null | head -n1)
contents=$(dpkg-deb --contents "$deb")
info=$(dpkg-deb --info "$deb")
libdir=$(sed -n 's/^CORVANE_INSTALL_LIBDIR:INTERNAL=//p' "$build/CMakeCache.txt")
private=$(sed -n 's/^CORVANE_INSTALL_PRIVATE_LIBDIR:INTERNAL=//p' "$build/CMakeCache.txt")
for path in ./usr/bin/corvane-studio ./usr/bin/corvane-studio-updater ./usr/bin/corvane-studio-uninstaller \
            "./usr/$private/liborlith.so" "./usr/$private/libqd4718updater.so" "./usr/$private/libplatform.so" \
            ./usr/share/corvane-studio/Config.json ./usr/share/corvane-studio-uninstaller/script.sh \
            ./usr/share/corvane-studio-uninstaller/script_all.sh \
            ./usr/share/applications/com.kestova.CorvaneStudio.desktop \
            ./usr/share/icons/hicolor/256x256/apps/com.kestova.CorvaneStudio.png \
            ./usr/lib/udev/rules.d/70-corvane-studio.rules \
            ./usr/share/polkit-1/actions/com.kestova.CorvaneStudio.uninstall.policy \
            "./var/lib/Corvane Studio/localizable/en.json" \
            ./usr/share/doc/corvane-studio/copyright ./usr/share/doc/corvane-studio/changelog.gz \
            ./usr/share/man/man1/corvane-studio.1.gz ./usr/share/man/man1/corvane-studio-updater.1.gz \
            ./usr/share/man/man1/corvane-studio-uninstaller.1.gz \
            ./usr/share/lintian/overrides/corvane-studio; do
  grep -qF " $path" <<<"$contents" || fail "the package lacks $path"
done
# The suite's libraries stay out of the system's library folder.
if grep -E " \./usr/$libdir/[^/]+\.so" <<<"$contents"; then fail "a library in the public /usr/$libdir"; fi
grep -q '^ Package: corvane-studio$' <<<"$info" || fail "package name"
grep -q '^ Depends:.*libqt6core6' <<<"$info" || fail "run-time dependencies found by shlibdeps"
# Qt's Wayland platform is no library the programs link: shlibdeps cannot find it.
grep -q '^ Recommends:.*qt6-wayland' <<<"$info" || fail "Qt's Wayland platform recommended"
grep -q 'postinst' <<<"$info" || fail "the udev reload in the maintainer scripts"
# The policy in the package names the script where the package puts it.
# Read whole before the match: with pipefail, a grep -q that stops early fails the pipeline.
policy=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/polkit-1/actions/com.kestova.CorvaneStudio.uninstall.policy)
grep -q '>/usr/share/corvane-studio-uninstaller/script.sh<' <<<"$policy" || fail "the policy names /usr's script"
# Every file under /etc is a conffile.
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles 2>/dev/null)
while read -r path; do
  grep -qx "${path#.}" <<<"$conffiles" || fail "$path is not a conffile"
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -tf - | grep '^\./etc/.*[^/]$')

# Sizes: installed at most 40 MB, the package at most 20 MB.
installed_kib=$(dpkg-deb --field "$deb" Installed-Size)
deb_bytes=$(stat -c %s "$deb")
echo "package: $(basename "$deb"), $((deb_bytes / 1024)) KiB; installed size ${installed_kib} KiB"
# A sanitizer build's programs are several times the size: the limits hold for the plain build only.
if sanitizer_build; then
  echo "package: sanitizer build, size limits not applied"
else
  [ "$installed_kib" -le 40960 ] || fail "installed size ${installed_kib} KiB is over 40 MB"
  [ "$deb_bytes" -le $((20 * 1024 * 1024)) ] || fail "the package's $deb_bytes bytes are over 20 MB"
fi

# Stripped programs and libraries, each with its debug information in the -dbgsym package.
tree="$out/tree"
mkdir -p "$tree"
dpkg-deb -x "$deb" "$tree"
if [ -z "$ddeb" ]; then
  fail "no corvane-studio-dbgsym package beside the package"
else
  grep -q '^ Package: corvane-studio-dbgsym$' <<<"$(dpkg-deb --info "$ddeb")" || fail "dbgsym package name"
  debug_files=$(dpkg-deb --contents "$ddeb")
fi
elves=0
while IFS= read -r -d '' f; do
  file -b "$f" | grep -q '^ELF' || continue
  elves=$((elves + 1))
  name=${f#"$tree"}
  sections=$(readelf -S -W "$f")
  grep -qE '\.debug_info|\.symtab' <<<"$sections" && fail "$name is not stripped"
  id=$(readelf -n "$f" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
  if [ -z "$id" ]; then fail "$name has no build id"; continue; fi
  [ -z "$ddeb" ] || grep -qF "./usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" <<<"$debug_files" \
    || fail "the dbgsym package lacks the debug information of $name"
done < <(find "$tree" -type f -print0)
[ "$elves" -ge 6 ] || fail "three programs and three libraries expected, $elves ELF files found"
readelf -d "$tree/usr/bin/corvane-studio" | grep -q "RUNPATH.*\[\$ORIGIN/\.\./$private\]" \
  || fail "the programs find the private libraries through RUNPATH"

# Debian's own checker: no error, and no warning the overrides do not give a reason for.
if command -v lintian >/dev/null; then
  lintian --fail-on error,warning --display-info --no-tag-display-limit "$deb" > "$out/lintian.txt" 2>&1
  status=$?
  [ $status -eq 0 ] || { cat "$out/lintian.txt"; fail "lintian (exit status $status)"; }
  if grep -E '^[EW]: ' "$out/lintian.txt"; then fail "lintian errors or warnings"; fi
  # Debian's standard hardening (fortified functions, full RELRO, PIE, stack protector), in the
  # plain build that is shipped; the sanitizer build leaves it out for its own instrumentation.
  if ! sanitizer_build && grep -E '^I: .* hardening-' "$out/lintian.txt"; then
    fail "a program lacks the standard hardening"
  fi
  if grep -E 'unused-override|mismatched-override' "$out/lintian.txt"; then
    fail "an override lintian no longer needs"
  fi
  echo "lintian: $(grep -c '^I: ' "$out/lintian.txt") informational tags, the rest clean"
else
  fail "lintian is not installed (scripts/setup installs it)"
fi
# Each override has its reason: a comment line right above it.
prev=""
while IFS= read -r line; do
  if [ -n "$line" ] && [ "${line#\#}" = "$line" ] && [ "${prev#\#}" = "$prev" ]; then
    fail "lintian override without a reason above it: $line"
  fi
  prev=$line
done < "$tree/usr/share/lintian/overrides/corvane-studio"

"$here/package-cycle.sh" "$deb" || fail "install, upgrade, remove and purge cycle"

if [ $failures -gt 0 ]; then echo "package check: $failures failure(s)"; exit 1; fi
echo "package check: $(basename "$deb") with the expected layout, lintian-clean, and its cycle"
