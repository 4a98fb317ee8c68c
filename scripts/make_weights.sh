#!/bin/sh
# Rebuilds the shipped data/Evaluation/eval_compact.bin from nothing: self-play
# positions of the engine with piece values only, rescored by the OpenShogiLib teacher,
# then trained. Every step is deterministic (fixed seeds, fixed depths and node caps,
# record counts instead of time limits), so the result is the same file, byte for byte.
#
#   scripts/make_weights.sh WORKDIR
#
# Needs build/kestrel (Release) and build-osl/kestrel-osl-rescore (README: "A stronger
# teacher"). About 2 x 45 minutes of generation on two cores, 1 to 3 hours of rescoring
# (depending on load) and 6 minutes of training. WORKDIR keeps the shards, so a second
# run skips the steps whose output is already there.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: scripts/make_weights.sh WORKDIR}
kestrel=$root/build/kestrel
rescore=$root/build-osl/kestrel-osl-rescore
for tool in "$kestrel" "$rescore"; do
  [ -x "$tool" ] || { echo "missing $tool (see README)" >&2; exit 1; }
done
mkdir -p "$work/Evaluation"
cp "$root/data/Evaluation/evaluation.txt" "$work/Evaluation/"
cd "$work"

# Self-play with piece values only: name, seed, depth, record count of the shard.
shards="shard1:1:4:1575202 shard2:2:4:1618484 m21:21:3:1071391 m22:22:3:1069883 m23:23:3:475200 m24:24:3:469215"

# Plays one shard unless it is complete already.
generate() {
  name=$1 seed=$2 depth=$3 records=$4
  [ -f "$name.done" ] && return 0
  "$kestrel" generate --out "$name.bin" --records "$records" --depth "$depth" \
      --max-nodes 100000 --seed "$seed" --quiet 2> "$name.log"
  touch "$name.done"
}

# Two at a time, one per core.
set -- $shards
while [ $# -gt 0 ]; do
  generate $(echo "$1" | tr : ' ') &
  if [ $# -gt 1 ]; then generate $(echo "$2" | tr : ' ') & shift; fi
  shift
  wait
done

# The teacher: OSL's evaluation through its quiescence search (depth 4), in Kestrel's
# points (factor 1/217.7), held to +-3000.
trained=""
for entry in $shards; do
  name=${entry%%:*}
  [ -f "osl_$name.done" ] || {
    "$rescore" --threads 2 "$name.bin" "osl_$name.bin" 2> "osl_$name.log"
    touch "osl_$name.done"
  }
  trained="$trained osl_$name.bin"
done

"$kestrel" train --epochs 8 --lambda 1.0 --csv curve.csv --no-full --out-dir . $trained 2> train.log
cmp -s eval_compact.bin "$root/data/Evaluation/eval_compact.bin" &&
  echo "eval_compact.bin is identical to the shipped file" ||
  echo "eval_compact.bin differs from the shipped file"
