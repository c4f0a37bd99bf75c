#!/usr/bin/env bash
# Fails when an option that PROGRAM --help lists is missing from its manual page.
#   usage: check-manpage-options.sh PROGRAM MANPAGE
set -euo pipefail
program=${1:?usage: check-manpage-options.sh PROGRAM MANPAGE}
page=${2:?usage: check-manpage-options.sh PROGRAM MANPAGE}
mapfile -t options < <("$program" --help | grep -oE '^ +(-[a-z], )?--[a-z][a-z-]*' |
    grep -oE -- '--[a-z-]+')
[ ${#options[@]} -gt 0 ] || { echo "no options found in $program --help" >&2; exit 1; }
missing=0
for option in "${options[@]}"; do
    # In roff source every hyphen of an option is written \-.
    if ! grep -qF -- "${option//-/\\-}" "$page"; then
        echo "$page does not describe $option" >&2
        missing=1
    fi
done
[ "$missing" -eq 0 ] && echo "${#options[@]} options of $program --help are in $page"
