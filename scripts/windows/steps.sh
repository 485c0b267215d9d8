# Sourced by the Windows scripts: runs one step, says how long it took, and
# keeps the line in `times` for a summary at the end.
times=()
step() {
    local name=$1 start=$SECONDS
    shift
    echo "== $name"
    "$@"
    local took=$((SECONDS - start))
    times+=("$(printf '%-44s %3dm%02ds' "$name" $((took / 60)) $((took % 60)))")
    printf '== %s: took %dm%02ds\n' "$name" $((took / 60)) $((took % 60))
}
