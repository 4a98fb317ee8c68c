#!/bin/sh
# Rebuilds a weight file of scripts/trainings.tsv from nothing: replays its shards
# (scripts/replay_shards.sh, checked against scripts/shards.tsv), builds the trainer of its
# commit, takes the initial weights from git (checked), trains with the row's options and
# thread count, and checks the result's SHA-256. Every step is deterministic, so the result
# is the same file, byte for byte, on any machine.
#
#   scripts/make_weights.sh WORKDIR [NAME]
#
# NAME defaults to round3, the shipped data/Evaluation/eval_compact.bin (about 2 hours of
# generation on two cores, then 3 minutes of training). The result is
# WORKDIR/weights/NAME/eval_compact.bin; WORKDIR keeps the shards and builds, so a second
# run skips what is done. Round 2, the initial weights of round 3, has its own recipe with
# the OpenShogiLib teacher (scripts/make_round2.sh). Exits 1 when a checksum differs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: scripts/make_weights.sh WORKDIR [NAME]}
name=${2:-round3}
mkdir -p "$work"
work=$(cd "$work" && pwd)
. "$root/scripts/manifest_lib.sh"
tab=$(printf '\t')

row=$(grep -v '^#' "$root/scripts/trainings.tsv" | awk -F'\t' -v n="$name" '$1 == n')
[ -n "$row" ] || { echo "no training $name in scripts/trainings.tsv" >&2; exit 2; }
IFS="$tab" read -r _name commit threads init isum shards options sum <<EOF_ROW
$row
EOF_ROW

# The shards, in the trainer's order: all of the set in manifest order, or those named.
set_name=${shards%%:*}
if [ "$set_name" = "$shards" ]; then
  names=$(grep -v '^#' "$root/scripts/shards.tsv" | awk -F'\t' -v s="$set_name" '$1 == s { print $2 }')
else
  names=$(echo "${shards#*:}" | tr , ' ')
fi
# shellcheck disable=SC2086  # one word a shard
"$root/scripts/replay_shards.sh" "$work" "$set_name" $names
files=""
for n in $names; do files="$files $work/shards/$set_name/$n.bin"; done

kestrel=$(kestrel_of "$commit")
dir=$(play_dir "$commit" "$init" "$isum")
outdir=$work/weights/$name
mkdir -p "$outdir"
initopt=""
[ "$init" = none ] || initopt="--init Evaluation/eval_compact.bin"
# shellcheck disable=SC2086  # the options are words
(cd "$dir" && "$kestrel" train $initopt --threads "$threads" $options --csv "$outdir/curve.csv" --no-full \
    --out-dir "$outdir" $files) 2> "$outdir/train.log"
check_result "$name" "$outdir/eval_compact.bin" "$sum" rebuilt || exit 1
if [ "$name" = round3 ]; then
  cmp -s "$outdir/eval_compact.bin" "$root/data/Evaluation/eval_compact.bin" &&
    echo "identical to the shipped data/Evaluation/eval_compact.bin"
fi
