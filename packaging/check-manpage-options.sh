#!/usr/bin/env bash
# Fails when PROGRAM --help and its manual page do not describe the same options: every option
# that --help lists must be in the page, and every option that the page describes in an item of
# its own (.TP) must be in --help.
#   usage: check-manpage-options.sh PROGRAM MANPAGE
set -euo pipefail
program=${1:?usage: check-manpage-options.sh PROGRAM MANPAGE}
page=${2:?usage: check-manpage-options.sh PROGRAM MANPAGE}
help=$("$program" --help)
mapfile -t options < <(grep -oE '^  (-[a-z], )?--[a-z][a-z0-9-]*' <<<"$help" |
    grep -oE -- '--[a-z0-9-]+')
[ ${#options[@]} -gt 0 ] || { echo "no options found in $program --help" >&2; exit 1; }
# In roff source every hyphen of an option is written \-; an item's tag is the line after .TP.
mapfile -t items < <(awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' "$page" |
    grep -oE -- '\\-\\-[a-z][a-z0-9\\-]*' | sed 's/\\-/-/g')
missing=0
for option in "${options[@]}"; do
    if ! grep -qF -- "${option//-/\\-}" "$page"; then
        echo "$page does not describe $option" >&2
        missing=1
    fi
done
for item in "${items[@]}"; do
    if ! grep -qE -- "^  (-[a-z], )?$item\b" <<<"$help"; then
        echo "$page describes $item, which $program --help does not list" >&2
        missing=1
    fi
done
[ "$missing" -eq 0 ] &&
    echo "${#options[@]} options of $program --help are in $page, ${#items[@]} items of it in --help"
