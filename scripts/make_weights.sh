#!/bin/sh
# Rebuilds the shipped data/Evaluation/eval_compact.bin from nothing, in two rounds.
# Round 2: self-play positions of the engine with piece values only, rescored by the
# OpenShogiLib teacher, then trained. Round 3: self-play with the round-2 weights, scored
# by the engine's own depth-6 search, trained on from the round-2 weights. Every step is
# deterministic (fixed seeds, fixed depths and node caps, record counts instead of time
# limits), so the result is the same file, byte for byte, as long as the search is the
# one the shards were played with (`kestrel bench` 532246 without data files): a search
# that plays other moves makes other games.
#
#   scripts/make_weights.sh WORKDIR [ROUND2_FILE]
#
# Needs build/kestrel (Release) and, for round 2, build-osl/kestrel-osl-rescore
# (docs/training.md, "A stronger teacher"). Round 2 takes about 2 x 45 minutes of
# generation on two cores, 1 to 3 hours of rescoring (depending on load) and 6 minutes of
# training; round 3 about 2 hours of generation and 3 minutes of training. Given
# ROUND2_FILE (the round-2 compact file, e.g. from
# `git show 1515784:data/Evaluation/eval_compact.bin`), round 2 is skipped. WORKDIR keeps
# the shards, so a second run skips the steps whose output is already there.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: scripts/make_weights.sh WORKDIR [ROUND2_FILE]}
round2=${2:-}
kestrel=$root/build/kestrel
rescore=$root/build-osl/kestrel-osl-rescore
[ -x "$kestrel" ] || { echo "missing $kestrel (see README)" >&2; exit 1; }
if [ -n "$round2" ]; then
  round2=$(cd "$(dirname "$round2")" && pwd)/$(basename "$round2")
  [ -f "$round2" ] || { echo "missing $round2" >&2; exit 1; }
else
  [ -x "$rescore" ] || { echo "missing $rescore (see README)" >&2; exit 1; }
fi
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

if [ -z "$round2" ]; then

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
round2=$PWD/round2/eval_compact.bin
fi

# Round 3. Self-play with the round-2 weights at depth 6 (the default node cap), in its own
# directory so that the generator finds those weights; the search score is the teacher.
mkdir -p round3/Evaluation
cp Evaluation/evaluation.txt round3/Evaluation/
cp "$round2" round3/Evaluation/eval_compact.bin
cd round3
generate_all "shard101:101:6:97758:200000 shard102:102:6:97902:200000 shard103:103:6:93500:200000 shard104:104:6:94192:200000 shard105:105:6:129575:200000 shard106:106:6:125419:200000"
"$kestrel" train --init Evaluation/eval_compact.bin --epochs 6 --lambda 1.0 --lr 1.0 \
    --batch 1024 --csv curve.csv --no-full --out-dir . \
    shard101.bin shard102.bin shard103.bin shard104.bin shard105.bin shard106.bin 2> train.log
cmp -s eval_compact.bin "$root/data/Evaluation/eval_compact.bin" &&
  echo "round3/eval_compact.bin is identical to the shipped file" ||
  echo "round3/eval_compact.bin differs from the shipped file"
