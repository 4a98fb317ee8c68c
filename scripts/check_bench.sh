#!/bin/sh
# Checks that `kestrel bench` (one thread, default depth, no data files: piece values only)
# still searches the node count recorded in scripts/bench_nodes.txt. The count is a
# signature of the search: a change of it must be deliberate, made in a commit that
# updates the file and says "Bench: <nodes>".
# Usage: scripts/check_bench.sh [path/to/kestrel]   (default build/kestrel)
set -e
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="$(cd "$(dirname "${1:-$root/build/kestrel}")" && pwd)/$(basename "${1:-$root/build/kestrel}")"
expected="$(tr -d ' \n' < "$root/scripts/bench_nodes.txt")"
scratch="$(mktemp -d /tmp/kestrel-bench-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
actual="$(cd "$scratch" && "$binary" bench </dev/null | sed -n 's/^Total nodes: //p')"
if [ "$actual" != "$expected" ]; then
  echo "bench check FAILED: kestrel bench gives ${actual:-no node count}, scripts/bench_nodes.txt says $expected." >&2
  echo "If the search was meant to change, put the new number in scripts/bench_nodes.txt in a" >&2
  echo "commit whose message ends with \"Bench: ${actual:-<nodes>}\"." >&2
  exit 1
fi
echo "bench check: $actual nodes, as recorded"
