#!/bin/sh
# Rebuilds the round-2 weights (the initial weights of round 3, kept in git at
# 1515784:data/Evaluation/eval_compact.bin) from nothing: self-play positions of the engine
# with piece values only, rescored by the OpenShogiLib teacher, then trained. Every step is
# deterministic (fixed seeds, fixed depths and node caps, record counts instead of time
# limits), so the result is the same file, byte for byte, as long as the search is the one
# the shards were played with: a search that plays other moves makes other games. Round 3
# and later rounds are rebuilt from scripts/shards.tsv by scripts/make_weights.sh.
#
#   scripts/make_round2.sh WORKDIR
#
# Needs build/kestrel (Release) and build-osl/kestrel-osl-rescore (docs/training.md, "A
# stronger teacher"). About 2 x 45 minutes of generation on two cores, 1 to 3 hours of
# rescoring (depending on load) and 6 minutes of training. WORKDIR keeps the shards, so a
# second run skips the steps whose output is already there.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: scripts/make_round2.sh WORKDIR}
kestrel=$root/build/kestrel
rescore=$root/build-osl/kestrel-osl-rescore
[ -x "$kestrel" ] || { echo "missing $kestrel (see README)" >&2; exit 1; }
[ -x "$rescore" ] || { echo "missing $rescore (see docs/training.md)" >&2; exit 1; }
mkdir -p "$work/Evaluation"
cp "$root/data/Evaluation/evaluation.txt" "$work/Evaluation/"
cd "$work"

# Plays one shard unless it is complete already: name, seed, depth, record count, node cap.
generate() {
  name=$1 seed=$2 depth=$3 records=$4 maxnodes=$5
  [ -f "$name.done" ] && return 0
  "$kestrel" generate --out "$name.bin" --records "$records" --depth "$depth" \
      --max-nodes "$maxnodes" --seed "$seed" --quiet 2> "$name.log"
  touch "$name.done"
}

# Plays the shards of a list (name:seed:depth:records:maxnodes), two at a time, one per core.
generate_all() {
  set -- $1
  while [ $# -gt 0 ]; do
    generate $(echo "$1" | tr : ' ') &
    if [ $# -gt 1 ]; then generate $(echo "$2" | tr : ' ') & shift; fi
    shift
    wait
  done
}

# Round 2. Self-play with piece values only.
shards="shard1:1:4:1575202:100000 shard2:2:4:1618484:100000 m21:21:3:1071391:100000
        m22:22:3:1069883:100000 m23:23:3:475200:100000 m24:24:3:469215:100000"
generate_all "$shards"

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

mkdir -p round2
[ -f round2/eval_compact.bin ] ||
  "$kestrel" train --epochs 8 --lambda 1.0 --csv round2/curve.csv --no-full --out-dir round2 \
      $trained 2> round2/train.log
git -C "$root" show 1515784:data/Evaluation/eval_compact.bin | cmp -s - round2/eval_compact.bin &&
  echo "round2/eval_compact.bin is identical to the round-2 file in git" ||
  echo "round2/eval_compact.bin differs from the round-2 file in git"
