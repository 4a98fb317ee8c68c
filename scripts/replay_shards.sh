#!/bin/sh
# Replays the training shards of scripts/shards.tsv into WORKDIR/shards/SET/NAME.bin, JOBS
# at a time (default: one per core), each with the generator of its commit (built once per
# commit), the weights it was played with (from git, checked) and its seed, options and
# record count, and checks each shard's SHA-256 against the manifest. A shard already there
# with the right checksum is kept, so a run cut short resumes. Shards whose manifest
# checksum is "-" (not recorded yet) are played and their checksum printed; such a shard
# is kept when its generator finished (NAME.done beside it).
#
#   scripts/replay_shards.sh WORKDIR SET [NAME ...]
#
# Exits 1 when any shard differs from the manifest.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# The manifest; another may be named for a trial run.
manifest=${SHARDS_TSV:-$root/scripts/shards.tsv}
work=${1:?usage: scripts/replay_shards.sh WORKDIR SET [NAME ...]}
set_name=${2:?usage: scripts/replay_shards.sh WORKDIR SET [NAME ...]}
shift 2
mkdir -p "$work"
work=$(cd "$work" && pwd)
. "$root/scripts/manifest_lib.sh"
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
out=$work/shards/$set_name
mkdir -p "$out"

# Plays one manifest row (its fields as arguments) unless its shard is there and right.
play_one() {
  name=$1 commit=$2 weights=$3 wsum=$4 seed=$5 options=$6 records=$7 sum=$8
  shard=$out/$name.bin
  if [ -f "$shard" ] && [ "$sum" != "-" ] && [ "$(sha256sum "$shard" | cut -d' ' -f1)" = "$sum" ]; then
    echo "$name: present"
    return 0
  fi
  if [ -f "$shard" ] && [ "$sum" = "-" ] && [ -f "$out/$name.done" ]; then
    echo "$name: present, $(sha256sum "$shard" | cut -d' ' -f1) (not in the manifest yet)"
    return 0
  fi
  rm -f "$out/$name.done"
  kestrel=$(kestrel_of "$commit") || return 1
  dir=$(play_dir "$commit" "$weights" "$wsum") || return 1
  # shellcheck disable=SC2086  # the options are words
  (cd "$dir" && "$kestrel" generate --out "$shard" --seed "$seed" --records "$records" $options --quiet) \
    2> "$out/$name.log" || { echo "$name: generate failed (see $out/$name.log)" >&2; return 1; }
  touch "$out/$name.done"
  check_result "$name" "$shard" "$sum" replayed
}

# The rows of the set (all, or those named), tab-separated, without comments.
rows=$(grep -v '^#' "$manifest" | awk -F'\t' -v s="$set_name" '$1 == s')
if [ $# -gt 0 ]; then
  wanted=" $* "
  rows=$(echo "$rows" | awk -F'\t' -v w="$wanted" 'index(w, " " $2 " ") > 0')
fi
[ -n "$rows" ] || { echo "no shards of set $set_name in $manifest" >&2; exit 2; }
# The commits are built and the play directories made first, one at a time, so that
# parallel jobs never build or write the same.
for c in $(echo "$rows" | cut -f3 | sort -u); do kestrel_of "$c" >/dev/null; done
tab=$(printf '\t')
echo "$rows" | cut -f3-5 | sort -u | while IFS="$tab" read -r c w s; do play_dir "$c" "$w" "$s" >/dev/null; done


running=0
echo "$rows" | {
  while IFS="$tab" read -r _set name commit weights wsum seed options records sum; do
    play_one "$name" "$commit" "$weights" "$wsum" "$seed" "$options" "$records" "$sum" || echo fail > "$out/.failed" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
      wait
      running=0
    fi
  done
  wait
}
if [ -f "$out/.failed" ]; then
  rm -f "$out/.failed"
  exit 1
fi
