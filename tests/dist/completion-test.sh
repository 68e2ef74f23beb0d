#!/usr/bin/env bash
# The completion offers what lumenstra-cli's own help names, and completes.
# Usage: completion-test.sh COMPLETION_FILE LUMENSTRA_CLI
set -uo pipefail
completion=$1 cli=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
. "$completion"

# complete WORD...: what the completion offers for the last word.
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _lumenstra_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
sorted() { tr ' ' '\n' | grep -v '^$' | sort -u; }

# Commands: the first word of every command line in the overview.
overview=$("$cli" --help)
help_commands=$(sed -n '/^Commands:/,/^$/p' <<<"$overview" | grep -oE '^  [a-z]+' | tr -d ' ' | sort -u)
offered=$(complete_words lumenstra-cli "" | grep -v '^-' | sort -u)
[ -n "$help_commands" ] || fail "no commands found in lumenstra-cli --help"
for command in $help_commands; do grep -qx "$command" <<<"$offered" || fail "command $command not offered"; done

# Effect names and zones from the device commands' help.
device_help=$("$cli" set --help)
# "name (code, note)" pairs, then the codes that have no button.
effect_block=$(sed -n '/^Effects, by the names/,/^The fan and logo/p' <<<"$device_help" | sed '1d;$d')
help_effects=$( { grep -oE '[a-z][a-z0-9_]* \(' <<<"$effect_block" | tr -d ' ('
                  grep -oE '\([a-z][a-z0-9_]*' <<<"$effect_block" | tr -d '('
                  sed -n 's/.*by code only://p' <<<"$effect_block"; } | sorted)
[ -n "$help_effects" ] || fail "no effect names found in lumenstra-cli set --help"
[ "$(complete_words lumenstra-cli set --effect "")" = "$help_effects" ] ||
    fail "effects offered: $(complete_words lumenstra-cli set --effect "" | tr '\n' ' '); help: $(tr '\n' ' ' <<<"$help_effects")"
help_zones=$(grep -oE -- '--zone [a-z|]+' <<<"$device_help" | head -n 1 | cut -d' ' -f2 | tr '|' ' ' | sorted)
[ "$(complete_words lumenstra-cli set --zone "")" = "$help_zones" ] || fail "zones offered: $(complete_words lumenstra-cli set --zone "" | tr '\n' ' ')"
# Every option the set lines name is offered after set.
set_lines=$(sed -n '/^Usage: lumenstra-cli set/,/^$/p' <<<"$device_help")
[ -n "$set_lines" ] || fail "no set lines found in lumenstra-cli set --help"
for option in $(grep -oE -- '--[a-z0-9]+' <<<"$set_lines" | sort -u); do
    complete_words lumenstra-cli set "--" | grep -qx -- "$option" || fail "option $option not offered after set"
done
[ "$(complete_words lumenstra-cli set --effect mode_0)" = "$(grep '^mode_0' <<<"$help_effects")" ] || fail "prefix completion of mode_0"
[ "$(complete_words lumenstra-cli --family l)" = "led5" ] || fail "--family l does not complete to led5"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "completion matches lumenstra-cli's help"
