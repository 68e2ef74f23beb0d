#!/bin/sh
# skintool check on a copy of the default skin with a picture, a key and a
# caption taken out must name exactly those three and fail.
set -eu
skintool=$1
program=$2
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r "$program/Skins" "$program/Skins.xml" "$program/Strings.xml" "$copy/"
rm "$copy/Skins/960x540/SilderOver.png"
sed -i 's|<BUTTON_APPLY[^>]*>[^<]*</BUTTON_APPLY>||' "$copy/Skins/1366x768/Buttons.xml"
sed -i 's|<STR_WARN>No supported[^<]*</STR_WARN>||' "$copy/Strings.xml"
if "$skintool" check "$copy" > "$copy/report"; then
  echo "check passed an incomplete skin"; exit 1
fi
cat "$copy/report"
grep -qx 'missing: picture Skins/960x540/SilderOver.png' "$copy/report"
grep -qx 'missing: Buttons.xml 1366x768 LED/BUTTON_APPLY' "$copy/report"
grep -qx 'missing: Buttons.xml 1366x768 LED5/BUTTON_APPLY' "$copy/report"
grep -qx 'missing: Strings.xml NO_KEYBOARD/STR_WARN' "$copy/report"
test "$(wc -l < "$copy/report")" -eq 4
