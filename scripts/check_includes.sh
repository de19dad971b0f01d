#!/bin/sh
# Include directions between the folders of src/.
#
# The folders are ranked by subsystem: core 1, run 2, data 3, project 4,
# popstats 5, datatypes 6, sumstat 7, haplo 8, amova 9, structure 11,
# mantel 12, translate 13. An include from a folder to a higher-ranked one
# fails the check unless a line of the allow-list permits it; every other
# cross-folder include is fine.
#
# Usage: scripts/check_includes.sh [--list] [SRC_DIR [ALLOW_FILE]]
#   --list      also print every cross-folder edge with its number of includes
#   SRC_DIR     default: src/ beside this script's folder
#   ALLOW_FILE  default: scripts/include_allow.txt; lines of the form
#                 <includer under SRC_DIR> -> <included header>   # why
#               where either side may be a shell pattern (core/*.cpp), and
#                 <header> <- <includer under SRC_DIR>            # why
#               which keep a header to its listed includers: from another
#               folder, only an includer matching one of the header's "<-"
#               lines may include it, upward or downward.
# Exit status: 0 when no include goes up unpermitted, 1 otherwise, 2 on a
# usage error or a folder without a rank.

here=$(cd "$(dirname "$0")" && pwd)
list=0
if [ "${1:-}" = "--list" ]; then
    list=1
    shift
fi
src=${1:-$here/../src}
allow=${2:-$here/include_allow.txt}
[ -d "$src" ] || { echo "no such folder: $src" >&2; exit 2; }
[ -f "$allow" ] || { echo "no such allow-list: $allow" >&2; exit 2; }

rank() {
    case $1 in
        core) echo 1 ;; run) echo 2 ;; data) echo 3 ;; project) echo 4 ;;
        popstats) echo 5 ;; datatypes) echo 6 ;; sumstat) echo 7 ;; haplo) echo 8 ;;
        amova) echo 9 ;; structure) echo 11 ;; mantel) echo 12 ;; translate) echo 13 ;;
        *) echo 0 ;;
    esac
}

# "includer header" for every include of a header in another folder.
edges=$(cd "$src" && grep -rE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/[^"]+"' \
            --include='*.h' --include='*.hpp' --include='*.cpp' . |
        sed -E 's|^\./([^:]*):[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*|\1 \2|' |
        awk '{ split($1, a, "/"); split($2, b, "/"); if (a[1] != b[1]) print }' | sort -u)

# Allow-list entries as "includer header", comments and blank lines dropped.
rules=$(sed -e 's/#.*//' "$allow" | awk -F'->' 'NF == 2 { gsub(/[[:space:]]/, "", $1); gsub(/[[:space:]]/, "", $2); print $1, $2 }')

# Headers kept to their includers, as "header includer" lines.
kept=$(sed -e 's/#.*//' "$allow" | awk -F'<-' 'NF == 2 { gsub(/[[:space:]]/, "", $1); gsub(/[[:space:]]/, "", $2); print $1, $2 }')

# "yes" when the header is kept to its listed includers and `$1` is none of them.
unlisted() {
    found=$(echo "$kept" | while read -r header from; do
        [ "$header" = "$2" ] || continue
        echo kept
        # shellcheck disable=SC2254
        case $1 in $from) echo listed ;; esac
    done)
    case $found in *kept*) case $found in *listed*) ;; *) echo yes ;; esac ;; esac
}

permitted() {
    echo "$rules" | while read -r from to; do
        [ -n "$from" ] || continue
        # shellcheck disable=SC2254
        case $1 in $from) case $2 in $to) echo yes; break ;; esac ;; esac
    done
}

status=0
up_edges=""
nl='
'
while read -r file header; do
    [ -n "$file" ] || continue
    from=${file%%/*}
    to=${header%%/*}
    rf=$(rank "$from")
    rt=$(rank "$to")
    if [ "$rf" = 0 ] || [ "$rt" = 0 ]; then
        echo "unranked folder in: $file -> $header (give it a rank in $0)" >&2
        status=2
        continue
    fi
    if [ -n "$(unlisted "$file" "$header")" ]; then
        echo "include of a header kept to its listed includers: $file -> $header"
        [ "$status" = 0 ] && status=1
    fi
    [ "$rf" -lt "$rt" ] || continue
    up_edges="$up_edges$file $header$nl"
    if [ -z "$(permitted "$file" "$header")" ]; then
        echo "upward include not in the allow-list: $file -> $header ($from $rf -> $to $rt)"
        [ "$status" = 0 ] && status=1
    fi
done <<EOF_EDGES
$edges
EOF_EDGES

# Entries that no longer match anything only deserve a note.
echo "$rules" | while read -r from to; do
    [ -n "$from" ] || continue
    matched=$(printf '%s' "$up_edges" | while read -r file header; do
        # shellcheck disable=SC2254
        case $file in $from) case $header in $to) echo yes; break ;; esac ;; esac
    done)
    [ -n "$matched" ] || echo "note: allow-list entry matches no upward include: $from -> $to"
done

if [ "$list" = 1 ]; then
    echo "cross-folder edges (includes per folder pair; 'up' goes to a higher rank):"
    echo "$edges" | while read -r file header; do
        [ -n "$file" ] || continue
        from=${file%%/*}
        to=${header%%/*}
        rf=$(rank "$from")
        rt=$(rank "$to")
        dir=down
        [ "$rf" -lt "$rt" ] && dir=up
        printf '%02d %02d %s -> %s %s\n' "$rf" "$rt" "$from" "$to" "$dir"
    done | sort | uniq -c | awk '{ printf "  %-10s -> %-10s %-4s %3d\n", $4, $6, $7, $1 }'
fi
exit $status
