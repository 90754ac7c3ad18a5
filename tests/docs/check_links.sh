#!/usr/bin/env bash
# Checks the links between Markdown pages: a relative link must reach a file,
# and a #heading one of the headings of the page it names (as Markdown
# renderers make anchors of them). Links in code are not links; links to
# other sites are not followed. Prints every broken link as PAGE:LINE: TARGET:
# what is wrong, and fails when there is one.
#   tests/docs/check_links.sh PAGE.md...
set -euo pipefail

# "LINE<tab>TARGET" for every link of a page, outside code.
links() {
    awk '
        /^```/ { fenced = !fenced; next }
        fenced { next }
        {
            text = $0
            gsub(/`[^`]*`/, "", text)
            while (match(text, /\]\([^)]*\)/)) {
                print NR "\t" substr(text, RSTART + 2, RLENGTH - 3)
                text = substr(text, RSTART + RLENGTH)
            }
        }' "$1"
}

# The anchor of every heading of a page, one a line: lower case, spaces as
# hyphens, other punctuation dropped; a second heading of the same words gets -1.
anchors() {
    awk '
        /^```/ { fenced = !fenced; next }
        fenced || !/^#+ / { next }
        {
            text = tolower($0)
            sub(/^#+ /, "", text)
            gsub(/[^a-z0-9 _-]/, "", text)
            gsub(/ /, "-", text)
            print seen[text]++ ? text "-" seen[text] - 1 : text
        }' "$1"
}

broken=0
for page in "$@"; do
    while IFS=$'\t' read -r line target; do
        [[ $target =~ ^[a-z]+: ]] && continue  # another site, or mail
        path=${target%%#*}
        anchor=${target:${#path}}
        file=$page
        [[ -z $path ]] || file=$(dirname "$page")/$path
        if [[ ! -e $file ]]; then
            echo "$page:$line: $target: no such file"
            broken=1
        elif [[ -n $anchor && $file == *.md ]] && ! anchors "$file" | grep -qxF -- "${anchor#\#}"; then
            echo "$page:$line: $target: no such heading in $file"
            broken=1
        fi
    done < <(links "$page")
done
exit $broken
