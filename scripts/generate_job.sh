#!/bin/sh
# One job of a generation run spread over many cores or machines: job INDEX plays with
# seed INDEX and writes DIR/shardINDEX.bin (its progress to DIR/shardINDEX.log), so that
# any job runner that numbers its jobs (GNU parallel, a Slurm array) can start it and the
# shards never collide. It runs in DIR, which must hold Evaluation/ (the piece values and
# the weights to play with); the remaining arguments go to `kestrel generate`.
#
#   scripts/generate_job.sh KESTREL DIR INDEX [generate options...]
#
# A job whose shard is complete (DIR/shardINDEX.done) is skipped, so a run that was cut
# short can be started again with the same command; an unfinished job starts over.
set -eu
kestrel=$1 dir=$2 index=$3
shift 3
case $index in '' | *[!0-9]*) echo "generate_job: INDEX must be a number" >&2; exit 2 ;; esac
[ -f "$dir/Evaluation/evaluation.txt" ] || { echo "generate_job: no $dir/Evaluation/evaluation.txt" >&2; exit 2; }
cd "$dir"
[ -f "shard$index.done" ] && exit 0
"$kestrel" generate --out "shard$index.bin" --seed "$index" --quiet "$@" 2> "shard$index.log"
touch "shard$index.done"
