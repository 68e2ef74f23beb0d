#!/usr/bin/env bash
# Builds the Debian package from the existing build tree, checks its fields
# and contents, runs lintian, and unpacks it into a scratch root to run the
# programs from there.
# Usage: package-test.sh BUILD_FOLDER SCRATCH_FOLDER VERSION
set -uo pipefail
build=$1 version=$3
. "$(dirname "$0")/scratch.sh" "$2"

cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; exit 1; }
deb="$scratch/out/lumenstra_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { echo "no $deb: $(ls "$scratch/out")" >&2; exit 1; }

[ "$(dpkg-deb -f "$deb" Package)" = lumenstra ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
# The dependencies come from the libraries the programs really load.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libQt6Core.so.6 libhidapi-hidraw.so.0; do
    path=$(ldd "$build/bin/lumenstra-cli" | awk -v l="$library" '$1 == l { print $3 }')
    [ -n "$path" ] || { fail "lumenstra-cli does not load $library"; continue; }
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n 1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -n 1 | cut -d: -f1)
    grep -q "\b$owner\b" <<<"$depends" || fail "Depends lacks $owner (for $library): $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for path in ./usr/bin/lumenstra-cli ./usr/bin/devsim ./usr/bin/nimbrel-pack ./usr/bin/skintool ./usr/bin/lumenstra \
            ./usr/lib/lumenstra/lumenstra ./usr/lib/lumenstra/nimbrel-program ./usr/lib/lumenstra/Skins.xml \
            ./usr/lib/lumenstra/Nimbrel/ ./usr/lib/udev/rules.d/70-lumenstra.rules \
            ./usr/lib/systemd/user/lumenstra-restore.service ./usr/lib/systemd/user/lumenstra-resume.service ./usr/share/applications/lumenstra.desktop \
            ./usr/share/icons/hicolor/scalable/apps/lumenstra.svg ./usr/share/man/man1/lumenstra-cli.1.gz \
            ./usr/share/doc/lumenstra/copyright ./usr/share/doc/lumenstra/changelog.gz; do
    grep -qx -- "$path" <<<"$contents" || fail "package lacks $path"
done
grep '^\./usr/lib/lumenstra/Nimbrel/.' <<<"$contents" | grep -qv '^\./usr/lib/lumenstra/Nimbrel/NimbrelSkin/' &&
    fail "package carries a demo updater"

# The udev rule takes effect on install and removal.
dpkg-deb -e "$deb" "$scratch/control"
for script in postinst postrm; do
    grep -q "udevadm control --reload" "$scratch/control/$script" && grep -q "udevadm trigger" "$scratch/control/$script" ||
        fail "$script does not reload and trigger udev"
done

# scripts/setup-deps installs lintian; without it the check fails rather than passing unseen.
lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || fail "lintian: $(cat "$scratch/lintian.log")"

# Unpacked into a scratch root, the programs run from it.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/devsim" --version)" = "devsim $version" ] || fail "devsim --version from the package"
[ "$("$root/usr/bin/lumenstra-cli" --version)" = "lumenstra-cli $version" ] || fail "lumenstra-cli --version from the package"
socket="$scratch/runtime/devsim.sock"
start_devsim "$root/usr/bin/devsim" "$socket" "standard,name=Packaged"
list=$(LUMENSTRA_HID="devsim:$socket" "$root/usr/bin/lumenstra-cli" list 2>&1) || fail "lumenstra-cli list from the package: $list"
grep -q 'Packaged' <<<"$list" || fail "lumenstra-cli list from the package: $list"
LUMENSTRA_HID="devsim:$socket" "$root/usr/bin/lumenstra-cli" check >/dev/null 2>&1
expect_code 5 "packaged lumenstra-cli check, no updater" $?

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "package $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, $(wc -l <<<"$contents") entries"
