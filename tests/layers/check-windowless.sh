#!/bin/sh
# Fails when one of the given programs needs Qt's Gui or Widgets library.
status=0
for program in "$@"; do
  if readelf -d "$program" | grep -E 'NEEDED.*libQt6(Gui|Widgets)' >/dev/null; then
    echo "$program needs a window library:"
    readelf -d "$program" | grep -E 'NEEDED.*libQt6'
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "$# programs without window libraries"
exit "$status"
