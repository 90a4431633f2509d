#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes CHANGELOG.md's versions in the two forms the package carries, so there is one list of
# what each version brought:
#   release-notes.sh debian CHANGELOG.md OUT MAINTAINER             the Debian changelog
#   release-notes.sh metainfo CHANGELOG.md OUT TEMPLATE HOMEPAGE    the AppStream metadata
# A version is a "## [VERSION] - YYYY-MM-DD [HH:MM]" heading (UTC; the time orders two releases
# of one day, as Debian's changelog needs); its items are "- " lines, continued by lines
# indented two spaces. Anything else (the file's preamble) is left out.
set -euo pipefail
mode=$1 changelog=$2 out=$3
shift 3
exec >"$out"

# One line per version: VERSION<tab>DATE[ TIME]<tab>ITEM<tab>ITEM..., items joined, backticks
# dropped.
versions() {
    awk '
        function flush_item() { if (item != "") { line = line "\t" item; item = "" } }
        function flush_version() { flush_item(); if (line != "") print line; line = "" }
        /^## \[[^]]+\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]( [0-2][0-9]:[0-5][0-9])? *$/ {
            flush_version()
            v = $0; sub(/^## \[/, "", v); sub(/\].*/, "", v)
            d = $0; sub(/.*\] - /, "", d); sub(/ *$/, "", d)
            line = v "\t" d
            next
        }
        line == "" { next }
        /^- / { flush_item(); item = substr($0, 3); next }
        /^  +[^ ]/ && item != "" { t = $0; sub(/^ +/, "", t); item = item " " t; next }
        /^## / { flush_version(); next }
        END { flush_version() }
    ' "$changelog" | tr -d '`'
}

case $mode in
debian)
    maintainer=$1
    n=0
    while IFS=$'\t' read -r -a f; do
        n=$((n + 1))
        [ "$n" -gt 1 ] && echo
        printf 'rinta (%s) unstable; urgency=medium\n\n' "${f[0]}"
        for item in "${f[@]:2}"; do
            # Wrapped to 78 columns, as Debian's tools expect.
            echo "$item" | fold -s -w 74 | sed 's/ *$//; 1s/^/  * /; 2,$s/^/    /'
        done
        when=$(LC_ALL=C date -u -R -d "${f[1]} UTC")
        printf '\n -- %s  %s\n' "$maintainer" "$when"
    done < <(versions)
    [ "$n" -gt 0 ] || { echo "release-notes.sh: no versions in $changelog" >&2; exit 1; }
    ;;
metainfo)
    template=$1 homepage=${2%/}
    releases=$(versions | while IFS=$'\t' read -r -a f; do
        printf '    <release version="%s" date="%s">\n      <description>\n        <ul>\n' "${f[0]}" "${f[1]%% *}"
        for item in "${f[@]:2}"; do
            item=${item//&/&amp;} item=${item//</&lt;} item=${item//>/&gt;}
            printf '          <li>%s</li>\n' "$item"
        done
        printf '        </ul>\n      </description>\n    </release>\n'
    done)
    [ -n "$releases" ] || { echo "release-notes.sh: no versions in $changelog" >&2; exit 1; }
    while IFS= read -r line; do
        if [ "$line" = "@RINTA_RELEASES@" ]; then
            printf '%s\n' "$releases"
        else
            printf '%s\n' "${line//@RINTA_HOMEPAGE@/$homepage}"
        fi
    done <"$template"
    ;;
*)
    echo "usage: release-notes.sh debian|metainfo CHANGELOG.md OUT ..." >&2
    exit 2
    ;;
esac
