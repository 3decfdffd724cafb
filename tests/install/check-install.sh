#!/usr/bin/env bash
# Installs the suite into a staging folder and checks what a user's machine would get: the
# layout, the desktop and polkit files, that each program finds its frameworks through its
# RUNPATH and the main program its resources, and that the generated removal scripts remove
# exactly what was installed (keeping user data unless asked) and touch nothing outside.
set -uo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check_file() { [ -f "$1" ] || fail "missing $1"; }

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CORVANE_INSTALL_PRIVATE_LIBDIR:INTERNAL=//p' "$build/CMakeCache.txt")
public_libdir=$(sed -n 's/^CORVANE_INSTALL_LIBDIR:INTERNAL=//p' "$build/CMakeCache.txt")
local_lib=$(sed -n 's/^CORVANE_LOCAL_LIBRARY_INSTALL_DIR:PATH=//p' "$build/CMakeCache.txt")
udev_dir=$(sed -n 's/^CORVANE_UDEV_RULES_DIR:PATH=//p' "$build/CMakeCache.txt")
polkit_dir=$(sed -n 's/^CORVANE_POLKIT_ACTIONS_DIR:PATH=//p' "$build/CMakeCache.txt")
modprobe_dir=$(sed -n 's/^CORVANE_MODPROBE_DIR:PATH=//p' "$build/CMakeCache.txt")

DESTDIR="$stage/sysroot" cmake --install "$build" > "$stage/install.log" 2>&1 || { cat "$stage/install.log"; fail "cmake --install"; exit 1; }
P="$stage/sysroot$prefix"

# Layout.
for p in corvane-studio corvane-studio-updater corvane-studio-uninstaller; do
  [ -x "$P/bin/$p" ] || fail "program $p not installed"
done
check_file "$P/$libdir/liborlith.so"
check_file "$P/$libdir/libqd4718updater.so"
check_file "$P/$libdir/libplatform.so"
# The suite's libraries are private: nothing of ours in the system's library folder.
ls "$P/$public_libdir"/*.so* > /dev/null 2>&1 && fail "libraries in the public $public_libdir: $(ls "$P/$public_libdir"/*.so*)"
for p in corvane-studio corvane-studio-updater corvane-studio-uninstaller; do
  check_file "$P/share/man/man1/$p.1.gz"
  gzip -t "$P/share/man/man1/$p.1.gz" 2>/dev/null || fail "$p.1.gz is not gzip"
done
check_file "$P/share/doc/corvane-studio/copyright"
check_file "$P/share/doc/corvane-studio/changelog.gz"
check_file "$P/share/corvane-studio/Config.json"
check_file "$P/share/corvane-studio/Presets.json"
check_file "$P/share/corvane-studio-updater/Updater config.json"
[ -x "$P/share/corvane-studio-uninstaller/script.sh" ] || fail "script.sh not executable"
[ -x "$P/share/corvane-studio-uninstaller/script_all.sh" ] || fail "script_all.sh not executable"
if [ -f "$(dirname "$0")/../../assets/models/face_detection_back_256x256.onnx" ]; then
  check_file "$P/share/orlith/face_detection_back_256x256.onnx"
fi
check_file "$stage/sysroot$local_lib/Corvane Studio/localizable/en.json"
check_file "$stage/sysroot$udev_dir/70-corvane-studio.rules"
for size in 16 32 48 128 256; do
  check_file "$P/share/icons/hicolor/${size}x${size}/apps/com.kestova.CorvaneStudio.png"
done
for d in "$P"/share/applications/*.desktop; do
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$d" || fail "desktop file $d"
  fi
done
[ "$(ls "$P"/share/applications/*.desktop | wc -l)" -eq 3 ] || fail "three desktop files expected"
grep -q '^NoDisplay=true' "$P/share/applications/com.kestova.CorvaneStudio.Updater.desktop" \
  || fail "the updater is hidden from the menus"
policy="$stage/sysroot$polkit_dir/com.kestova.CorvaneStudio.uninstall.policy"
check_file "$policy"
if command -v xmllint >/dev/null; then xmllint --noout "$policy" || fail "policy not well-formed"; fi
grep -q ">$prefix/share/corvane-studio-uninstaller/script.sh<" "$policy" \
  || fail "the policy names the installed removal script"

# The virtual camera: its helper, the polkit action naming the installed helper, the options.
helper="$P/libexec/corvane-studio/corvane-studio-virtual-camera"
[ -x "$helper" ] || fail "the virtual camera's helper is not installed executable"
vpolicy="$stage/sysroot$polkit_dir/com.kestova.CorvaneStudio.virtual-camera.policy"
check_file "$vpolicy"
if command -v xmllint >/dev/null; then xmllint --noout "$vpolicy" || fail "policy not well-formed"; fi
grep -q ">$prefix/libexec/corvane-studio/corvane-studio-virtual-camera<" "$vpolicy" \
  || fail "the virtual camera's policy names the installed helper"
grep -q 'card_label="Kestova Virtual Camera"' "$stage/sysroot$modprobe_dir/corvane-studio.conf" \
  || fail "the modprobe options name the virtual camera"

# Frameworks through RUNPATH, never the build tree.
for p in corvane-studio corvane-studio-updater corvane-studio-uninstaller; do
  out=$(ldd "$P/bin/$p" 2>&1)
  if grep -q 'not found' <<<"$out"; then fail "$p: unresolved libraries"; echo "$out" | grep 'not found'; fi
  for lib in liborlith libplatform; do
    path=$(sed -n "s/.*$lib[^ ]* => \([^ ]*\) .*/\1/p" <<<"$out")
    [ -z "$path" ] || [ "$(readlink -f "$path")" = "$(readlink -f "$P/$libdir")/$lib.so" ] \
      || fail "$p loads $lib from outside the install: $path"
  done
done
readelf -d "$P/bin/corvane-studio" | grep -q 'RUNPATH.*\$ORIGIN' || fail "RUNPATH relative to the program"

# The staged main program starts and finds its resources there.
home="$stage/home"
mkdir -p "$home"
(
  export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
         XDG_DATA_HOME="$home/.local/share" CORVANE_LOCAL_LIBRARY_DIR="$stage/sysroot$local_lib" \
         QT_QPA_PLATFORM=offscreen
  unset CORVANE_RESOURCES_DIR
  "$P/bin/corvane-studio" > "$stage/run.out" 2>&1 &
  pid=$!
  log=""
  for _ in $(seq 1 300); do
    log=$(ls "$home"/.cache/corvane-studio/log/*.log 2>/dev/null | head -n1)
    [ -n "$log" ] && grep -q 'starting' "$log" && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  kill -TERM $pid 2>/dev/null
  wait $pid
  echo "exit=$?" > "$stage/run.status"
)
grep -q 'exit=0' "$stage/run.status" || { fail "the staged program did not start and quit cleanly ($(cat "$stage/run.status"))"; cat "$stage/run.out"; }
log=$(ls "$home"/.cache/corvane-studio/log/*.log 2>/dev/null | head -n1)
if [ -z "$log" ]; then fail "the staged program wrote no day log"
elif grep -E '\[Error\].*(Config\.json|Presets\.json|en\.json|localizable|resource|model)' "$log"; then
  fail "the staged program could not read its resources"
fi

# Removal: the plain script keeps user data; everything installed goes; nothing else changes.
mkdir -p "$stage/sysroot$prefix/bin" "$stage/sysroot/etc"
echo keep > "$stage/sysroot$prefix/bin/someone-else"
echo keep > "$stage/sysroot/etc/other.conf"
# The scripts find the user's home through PKEXEC_UID, as pkexec gives it.
home=$(getent passwd "$(id -u)" | cut -d: -f6)
mkdir -p "$stage/sysroot$home/.config/corvane-studio" "$stage/sysroot$home/.cache/corvane-studio"
echo settings > "$stage/sysroot$home/.config/corvane-studio/corvane-studio.conf"
touch "$stage/outside-marker"
find "$stage/sysroot" -type f | sort > "$stage/before"
PKEXEC_UID=$(id -u) "$P/share/corvane-studio-uninstaller/script.sh" "$stage/sysroot" > "$stage/remove.out" 2>&1 \
  || { cat "$stage/remove.out"; fail "script.sh failed"; }
find "$stage/sysroot" -type f | sort > "$stage/after"
left=$(comm -12 "$stage/before" "$stage/after" | grep -v -e someone-else -e other.conf -e "^$stage/sysroot$home/")
[ -z "$left" ] || { fail "script.sh left installed files behind"; echo "$left"; }
check_file "$stage/sysroot$prefix/bin/someone-else"
check_file "$stage/sysroot/etc/other.conf"
check_file "$stage/sysroot$home/.config/corvane-studio/corvane-studio.conf"
[ ! -e "$P/share/corvane-studio" ] || fail "share/corvane-studio stays"
[ ! -e "$stage/sysroot$local_lib/Corvane Studio" ] || fail "the language tables' folder stays"
check_file "$stage/outside-marker"

# script_all: the user's and the machine-wide folders too.
DESTDIR="$stage/sysroot" cmake --install "$build" > /dev/null 2>&1 || fail "second install"
mkdir -p "$stage/sysroot$local_lib/Corvane Studio/records"
echo data > "$stage/sysroot$local_lib/Corvane Studio/records/r.json"
PKEXEC_UID=$(id -u) "$P/share/corvane-studio-uninstaller/script_all.sh" "$stage/sysroot" > "$stage/remove-all.out" 2>&1 \
  || { cat "$stage/remove-all.out"; fail "script_all.sh failed"; }
[ ! -e "$stage/sysroot$home/.config/corvane-studio" ] || fail "script_all.sh kept the user's settings"
[ ! -e "$stage/sysroot$home/.cache/corvane-studio" ] || fail "script_all.sh kept the user's caches"
[ ! -e "$stage/sysroot$local_lib/Corvane Studio" ] || fail "script_all.sh kept the machine-wide folder"
[ ! -e "$P/bin/corvane-studio" ] || fail "script_all.sh kept the program"
check_file "$stage/sysroot$prefix/bin/someone-else"
grep -q 'Corvane Studio removed' "$stage/remove-all.out" || fail "script_all.sh reports what it did"

# The real home of whoever runs this test is never touched: the staging root is put before it.
if [ $failures -gt 0 ]; then echo "install check: $failures failure(s)"; exit 1; fi
echo "install check: layout, RUNPATH, start-up and removal as expected"
