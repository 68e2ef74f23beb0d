#!/usr/bin/env bash
# Installs the build into a scratch prefix, and into a DESTDIR, and runs the
# installed programs against a devsim daemon as a user would.
# Usage: install-test.sh BUILD_FOLDER SCRATCH_FOLDER BINDIR LIBDIR VERSION
set -uo pipefail
build=$1 bindir=$3 libdir=$4 version=$5
. "$(dirname "$0")/scratch.sh" "$2"

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log" >&2; exit 1; }
bin="$prefix/$bindir"
lib="$prefix/$libdir/lumenstra"

# Everything the programs load at run time, where they look for it.
for file in "$bin/lumenstra" "$bin/lumenstra-cli" "$bin/devsim" "$bin/nimbrel-pack" "$bin/skintool" \
            "$lib/lumenstra" "$lib/nimbrel-program" "$lib/Skins.xml" "$lib/Strings.xml" \
            "$prefix/lib/systemd/user/lumenstra-restore.service" "$prefix/lib/udev/rules.d/70-lumenstra.rules" \
            "$prefix/share/applications/lumenstra.desktop" "$prefix/share/icons/hicolor/scalable/apps/lumenstra.svg" \
            "$prefix/share/icons/hicolor/48x48/apps/lumenstra.png" \
            "$prefix/share/bash-completion/completions/lumenstra-cli" "$prefix/share/doc/lumenstra/copyright"; do
    [ -e "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
[ -d "$lib/Nimbrel" ] || fail "no updater folder"
# Only the updater window's skin, which every updater placed there reads.
[ -s "$lib/Nimbrel/NimbrelSkin/Layout.xml" ] || fail "no updater window skin"
updaters=$(ls -A "$lib/Nimbrel" 2>/dev/null | grep -vx NimbrelSkin)
[ -z "$updaters" ] || fail "demo updaters installed without asking: $updaters"
for page in lumenstra lumenstra-cli Nimbrel devsim nimbrel-pack skintool; do
    [ -s "$prefix/share/man/man1/$page.1.gz" ] || fail "no man page $page.1"
done
skintool_check=$("$bin/skintool" check "$lib" 2>&1) || fail "installed skin incomplete: $skintool_check"
[ "$(readlink -f "$bin/lumenstra")" = "$(readlink -f "$lib/lumenstra")" ] || fail "bin/lumenstra does not lead to $lib"

# The units name the installed program, and systemd accepts them.
for unit in "lumenstra-restore:restore" "lumenstra-resume:restore --on-resume" "lumenstra-server:serve"; do
    file="$prefix/lib/systemd/user/${unit%%:*}.service"
    grep -qx "ExecStart=$bin/lumenstra-cli ${unit#*:}" "$file" || fail "$file does not name $bin/lumenstra-cli: $(grep ExecStart "$file")"
    verify=$(systemd-analyze verify --user "$file" 2>&1) || fail "systemd-analyze verify $file: $verify"
done

for program in "$bin/devsim" "$bin/nimbrel-pack" "$bin/skintool" "$lib/nimbrel-program"; do
    [ "$("$program" --version)" = "$(basename "$program" | sed 's/nimbrel-program/Nimbrel/') $version" ] ||
        fail "$program --version: $("$program" --version 2>&1)"
done

socket="$scratch/runtime/devsim.sock"
start_devsim "$bin/devsim" "$socket" "standard,fw=1.2.5,name=Desk card" "led5,fw=1.0.3"
export LUMENSTRA_HID="devsim:$socket"

list=$("$bin/lumenstra-cli" list 2>&1)
expect_code 0 "lumenstra-cli list" $?
grep -q '^standard 0 .*Desk card' <<<"$list" || fail "list does not show the standard controller: $list"
grep -q '^led5 0 ' <<<"$list" || fail "list does not show the LED5 controller: $list"

# No updater installed: said in words, with its own code, never "no update due".
"$bin/lumenstra-cli" check >"$scratch/check.out" 2>"$scratch/check.err"
expect_code 5 "check without an updater" $?
grep -q "no firmware package is installed" "$scratch/check.err" || fail "check without an updater says: $(cat "$scratch/check.err")"
grep -q "result:" "$scratch/check.out" && fail "check without an updater reports a result: $(cat "$scratch/check.out")"
"$bin/lumenstra-cli" update >/dev/null 2>"$scratch/update.err"
expect_code 5 "update without an updater" $?
grep -q "no firmware package is installed" "$scratch/update.err" || fail "update without an updater says: $(cat "$scratch/update.err")"

# A file there that holds no package counts as none.
head -c 4096 /dev/zero >"$lib/Nimbrel/Nimbrel2"
"$bin/lumenstra-cli" check --family led5 >"$scratch/check.out" 2>"$scratch/check.err"
expect_code 5 "check with a damaged updater" $?
grep -q "no firmware package is installed" "$scratch/check.err" || fail "check with a damaged updater says: $(cat "$scratch/check.err")"

# An updater placed in the installed updater folder is the one check reads.
install -m 755 "$build/bin/Nimbrel/Nimbrel" "$lib/Nimbrel/Nimbrel"
check=$("$bin/lumenstra-cli" check 2>&1)
expect_code 0 "check with an updater" $?
grep -qx "result: -1" <<<"$check" || fail "check with the 1.2.7 updater against 1.2.5: $check"

# Lumenstra from the install tree: opens its window on the installed skin.
shots="$scratch/screenshots"
mkdir -p "$shots"
LUMENSTRA_SCREENSHOTS="$shots" LUMENSTRA_AUTOCLOSE_MS=700 timeout 60 "$bin/lumenstra" >"$scratch/lumenstra.log" 2>&1
expect_code 0 "lumenstra" $?
[ -n "$(find "$shots" -name '*.png' -size +0)" ] || fail "lumenstra saved no window picture: $(cat "$scratch/lumenstra.log")"

# DESTDIR: the same tree under a staging root, nothing outside it.
DESTDIR="$scratch/destdir" cmake --install "$build" --prefix /opt/lumenstra >"$scratch/destdir.log" 2>&1 || fail "install into DESTDIR: $(cat "$scratch/destdir.log")"
[ -x "$scratch/destdir/opt/lumenstra/$libdir/lumenstra/lumenstra" ] || fail "DESTDIR install lacks lumenstra"
[ "$(readlink "$scratch/destdir/opt/lumenstra/$bindir/lumenstra")" = "../$libdir/lumenstra/lumenstra" ] || fail "DESTDIR link is not relative"
grep -qx "ExecStart=/opt/lumenstra/$bindir/lumenstra-cli restore" "$scratch/destdir/opt/lumenstra/lib/systemd/user/lumenstra-restore.service" ||
    fail "DESTDIR unit names the staging root"
[ -e /opt/lumenstra ] && fail "DESTDIR install wrote outside its root"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "installed tree works"
