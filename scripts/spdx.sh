#!/usr/bin/env bash
# Puts "SPDX-License-Identifier: MIT" at the top of every tracked source file that lacks it, in
# the comment form of its language, after a #! line or an XML or HTML declaration. Rerun it
# after a merge brings new files.
#   spdx.sh           add the line where it is missing, and list those files
#   spdx.sh --check   only list the files that lack it; exit 1 if there are any
# Files with no comment form (Markdown, JSON, pictures, data lists) are not source files here.
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = --check ] && check=1
command -v git >/dev/null && git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
    { echo "spdx.sh: not a git checkout, so no list of tracked files" >&2; exit 77; }

tag="SPDX-License-Identifier: MIT"

# The line for FILE in its language's comment form; nothing for a file that is not source.
spdx_line() {
    local path=$1 name=${1##*/}
    case $name in
        *.in) name=${name%.in} ;; # a template reads as the file it becomes
    esac
    case $name in
        *.c | *.cc | *.cpp | *.h | *.hpp | *.js | *.mjs | *.cjs | *.ts | *.glsl | *.vert | *.frag)
            echo "// $tag" ;;
        *.css) echo "/* $tag */" ;;
        *.sh | *.bash | *.awk | *.py | *.cmake | CMakeLists.txt | *.supp | *.desktop)
            echo "# $tag" ;;
        *.html | *.xml | *.svg) echo "<!-- $tag -->" ;;
        *.[1-9]) echo ".\\\" $tag" ;; # manual pages
        *.*) ;;
        *) head -c 2 "$path" 2>/dev/null | grep -q '^#!' && echo "# $tag" ;;
    esac
}

missing=0
while IFS= read -r -d '' path; do
    [ -f "$path" ] && [ ! -L "$path" ] || continue
    line=$(spdx_line "$path") || true
    [ -n "$line" ] || continue
    head -n 3 "$path" | grep -q 'SPDX-License-Identifier:' && continue
    missing=$((missing + 1))
    echo "$path"
    [ "$check" -eq 1 ] && continue
    # Below a first line that must stay first: #!, <?xml ...?>, <!DOCTYPE ...>.
    if head -n 1 "$path" | grep -Eqi '^(#!|<\?xml|<!doctype)'; then
        { head -n 1 "$path"; printf '%s\n' "$line"; tail -n +2 "$path"; } >"$path.spdx"
    else
        { printf '%s\n' "$line"; cat "$path"; } >"$path.spdx"
    fi
    cat "$path.spdx" >"$path" # keeps the file's mode
    rm -f "$path.spdx"
done < <(git ls-files -z)

if [ "$check" -eq 1 ] && [ "$missing" -gt 0 ]; then
    echo "spdx.sh: $missing source files lack the line \"$tag\" at the top; scripts/spdx.sh adds it" >&2
    exit 1
fi
exit 0
