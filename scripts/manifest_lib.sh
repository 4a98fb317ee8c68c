# Shared helpers of replay_shards.sh and make_weights.sh (sourced, not run): building the
# program of a commit and reading checked files out of git. Shell functions share their
# variables with the caller, so each helper's own names carry its prefix.
#
# Needs $root (the repository) and $work (the working directory) set by the caller.

# Prints the path of the Release kestrel of `commit`, building it once into
# $work/bin/COMMIT from a worktree of the repository (in $work/src/COMMIT).
kestrel_of() {
  ko_commit=$1
  ko_bin=$work/bin/$ko_commit/kestrel
  if [ ! -x "$ko_bin" ]; then
    ko_src=$work/src/$ko_commit
    [ -d "$ko_src" ] || git -C "$root" worktree add --detach "$ko_src" "$ko_commit" >&2 || return 1
    cmake -S "$ko_src" -B "$work/bin/$ko_commit" -DCMAKE_BUILD_TYPE=Release >/dev/null || return 1
    cmake --build "$work/bin/$ko_commit" -j"$(nproc 2>/dev/null || echo 2)" --target kestrel >&2 || return 1
  fi
  echo "$ko_bin"
}

# Writes the git file `rev:path` to `out` and checks its SHA-256 ("-" checks nothing).
checked_file() {
  cf_rev=$1 cf_sum=$2 cf_out=$3
  git -C "$root" show "$cf_rev" > "$cf_out.tmp" || return 1
  if [ "$cf_sum" != "-" ] && [ "$(sha256sum "$cf_out.tmp" | cut -d' ' -f1)" != "$cf_sum" ]; then
    echo "$cf_rev: SHA-256 differs from the manifest" >&2
    return 1
  fi
  mv "$cf_out.tmp" "$cf_out"
}

# Prints a directory holding Evaluation/ with the piece values of `commit` and the compact
# weights at the git revision:path `weights` (or none), ready for `kestrel generate` or
# `kestrel train` to run in.
play_dir() {
  pd_commit=$1 pd_weights=$2 pd_sum=$3
  pd_dir=$work/play/$(echo "$pd_commit $pd_weights" | sha256sum | cut -c1-16)
  if [ ! -f "$pd_dir/ready" ]; then
    mkdir -p "$pd_dir/Evaluation"
    checked_file "$pd_commit:data/Evaluation/evaluation.txt" - "$pd_dir/Evaluation/evaluation.txt" || return 1
    if [ "$pd_weights" != none ]; then
      checked_file "$pd_weights" "$pd_sum" "$pd_dir/Evaluation/eval_compact.bin" || return 1
    fi
    touch "$pd_dir/ready"
  fi
  echo "$pd_dir"
}

# Compares the SHA-256 of `file` with the manifest's `sum` and says so for `name`; `done`
# is what a match is called (replayed, rebuilt). Returns 1 on a mismatch; a manifest
# without a checksum yet ("-") gets the file's printed.
check_result() {
  cr_name=$1 cr_file=$2 cr_sum=$3 cr_done=$4
  cr_got=$(sha256sum "$cr_file" | cut -d' ' -f1)
  if [ "$cr_sum" = "-" ]; then
    echo "$cr_name: $cr_got (not in the manifest yet)"
  elif [ "$cr_got" = "$cr_sum" ]; then
    echo "$cr_name: $cr_done, checksum matches"
  else
    echo "$cr_name: checksum $cr_got differs from the manifest's $cr_sum" >&2
    return 1
  fi
}
