#!/usr/bin/env python3
"""Samples how many small faults the Release tests catch.

Exports a git revision into a scratch directory, builds it once (Release, tests on),
then plants one fault at a time at seeded random places in src/: a relational,
arithmetic, logical, boolean or constant change. After each fault it rebuilds the same
build directory (only what the change touches is recompiled), runs the Release tests
without the long game tests, records caught / missed / not compiling, and always puts the
file back. At the end it prints the catch rate overall, per subsystem (src/<folder>) and
per operator, and the faults that were missed.

A developer's tool, not part of CI. Two runs with the same --seed and --operators from two
revisions sample the same way, so their catch rates can be compared:

    scripts/mutate.py --rev main~5 --count 60 --seed 1
    scripts/mutate.py --rev HEAD   --count 60 --seed 1

--count is the number of faults that compile (caught + missed); faults that do not compile
are drawn in addition and reported apart.

Files under --skip (default src/teacher/: built only behind an option that is off by
default, so no fault there could be caught) are not sampled. The bench node-count check
(CTest test BenchNodeCount) runs with the other tests; --no-bench leaves it out, to see
what the unit tests alone catch. --exclude replaces the whole ctest -E regex.

Some faults change nothing observable (a check on a value that never occurs, a change that
only costs speed). Those reviewed by hand are listed, with the reason, in
scripts/mutate_equivalent.txt; a missed fault found there is counted apart as equivalent.
The report gives the rate without them and the raw rate with them. --report FILE prints the
report of an earlier run's results again (with today's list):

    scripts/mutate.py --report /tmp/kestrel-mutate/<sha>/results-seed1.jsonl
"""

import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

OPERATORS = ("relational", "arithmetic", "logical", "boolean", "constant")

# Long game tests: whole engine-against-engine games, left out of the sampling.
DEFAULT_EXCLUDE = r"^(SelfPlay|Match)\."
# The bench node-count check, left out with --no-bench.
BENCH_TEST = r"^BenchNodeCount$"
# Sources never built by the default configuration.
DEFAULT_SKIP = "src/teacher/"

# Binary operators are only taken with blanks on both sides, which is how this code base
# writes them; that keeps template brackets, pointers and shifts out.
RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ARITHMETIC = {"+": "-", "-": "+", "*": "/", "/": "*", "+=": "-=", "-=": "+="}
LOGICAL = {"&&": "||", "||": "&&"}
RE_BINARY = re.compile(r"(?<=\s)(<=|>=|==|!=|\+=|-=|&&|\|\||<|>|\+|-|\*|/)(?=\s)")
RE_NOT = re.compile(r"!(?=[A-Za-z_(])")
RE_BOOL = re.compile(r"\b(true|false)\b")
RE_INT = re.compile(r"(?<![\w.'])(\d+)([uUlL]*)(?![\w.'])")


def mask_code(lines):
    """Returns the lines with comments and string/char literals blanked (same columns)."""
    out = []
    in_block = False
    for line in lines:
        res = []
        i = 0
        n = len(line)
        while i < n:
            c = line[i]
            if in_block:
                if line.startswith("*/", i):
                    in_block = False
                    res.append("  ")
                    i += 2
                else:
                    res.append(" ")
                    i += 1
                continue
            if line.startswith("//", i):
                res.append(" " * (n - i))
                break
            if line.startswith("/*", i):
                in_block = True
                res.append("  ")
                i += 2
                continue
            if c in "\"'":
                # Raw strings are rare here; a plain scan to the closing quote is enough.
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                res.append(" " * (min(j, n - 1) - i + 1))
                i = j + 1
                continue
            res.append(c)
            i += 1
        out.append("".join(res)[:n])
    return out


def find_sites(root, rel_path):
    """Lists the mutation sites of one file: (operator, line index, column, old, new)."""
    with open(os.path.join(root, rel_path), encoding="utf-8") as f:
        lines = f.read().split("\n")
    sites = []
    for idx, code in enumerate(mask_code(lines)):
        stripped = code.strip()
        if not stripped or stripped.startswith("#") or "static_assert" in code:
            continue
        for m in RE_BINARY.finditer(code):
            tok = m.group(1)
            for table, kind in ((RELATIONAL, "relational"), (ARITHMETIC, "arithmetic"),
                                (LOGICAL, "logical")):
                if tok in table:
                    sites.append((kind, idx, m.start(1), tok, table[tok]))
        for m in RE_NOT.finditer(code):
            if code[m.start() + 1:m.start() + 2] != "=":
                sites.append(("logical", idx, m.start(), "!", ""))
        for m in RE_BOOL.finditer(code):
            tok = m.group(1)
            sites.append(("boolean", idx, m.start(1), tok, "false" if tok == "true" else "true"))
        for m in RE_INT.finditer(code):
            value = int(m.group(1))
            sites.append(("constant", idx, m.start(1), m.group(1), value))
    return sites, lines


def source_files(root):
    files = []
    for dirpath, _, names in os.walk(os.path.join(root, "src")):
        for name in names:
            if name.endswith((".cpp", ".h")):
                files.append(os.path.relpath(os.path.join(dirpath, name), root))
    return sorted(files)


def subsystem(rel_path):
    parts = rel_path.split(os.sep)
    return "/".join(parts[:2]) if len(parts) > 2 else parts[0]


def run(cmd, cwd, timeout=None, log=None):
    """Runs a command in its own process group; kills the whole group on a time-out.
    Returns (exit code or None on time-out, seconds)."""
    start = time.time()
    out = open(log, "w") if log else subprocess.DEVNULL
    try:
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            rc = None
    finally:
        if log:
            out.close()
    return rc, time.time() - start


class Tree:
    """The exported revision, its build directory, and the file currently mutated."""

    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.src = os.path.join(self.work, "tree")
        self.build = os.path.join(self.work, "build")
        self.pending = os.path.join(self.work, "pending.json")

    def export(self, repo, rev):
        sha = subprocess.check_output(["git", "-C", repo, "rev-parse", rev + "^{commit}"],
                                      text=True).strip()
        stamp = os.path.join(self.work, "revision")
        if os.path.exists(stamp) and open(stamp).read().strip() == sha:
            self.restore_pending()
            return sha
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.src)
        archive = subprocess.Popen(["git", "-C", repo, "archive", sha], stdout=subprocess.PIPE)
        subprocess.check_call(["tar", "-x", "-C", self.src], stdin=archive.stdout)
        if archive.wait() != 0:
            sys.exit("git archive failed")
        with open(stamp, "w") as f:
            f.write(sha + "\n")
        return sha

    def restore_pending(self):
        """Puts back a file left mutated by a run that was killed."""
        if os.path.exists(self.pending):
            with open(self.pending) as f:
                p = json.load(f)
            with open(os.path.join(self.src, p["file"]), "w", encoding="utf-8") as f:
                f.write(p["original"])
            os.remove(self.pending)
            print("restored %s left mutated by an earlier run" % p["file"])

    def configure_and_build(self, log):
        if not os.path.exists(os.path.join(self.build, "CMakeCache.txt")):
            rc, _ = run(["cmake", "-S", self.src, "-B", self.build, "-DCMAKE_BUILD_TYPE=Release"],
                        self.work, log=log)
            if rc != 0:
                return rc
        rc, _ = run(["cmake", "--build", self.build, "-j", str(self.args.jobs)], self.work,
                    log=log)
        return rc

    def test(self, timeout, log):
        cmd = ["ctest", "-j", str(self.args.jobs), "--stop-on-failure", "-E", self.args.exclude]
        return run(cmd, self.build, timeout=timeout, log=log)

    def mutate(self, rel_path, lines, idx, col, old, new):
        original = "\n".join(lines)
        with open(self.pending, "w") as f:
            json.dump({"file": rel_path, "original": original}, f)
        line = lines[idx]
        mutated = lines[:idx] + [line[:col] + new + line[col + len(old):]] + lines[idx + 1:]
        with open(os.path.join(self.src, rel_path), "w", encoding="utf-8") as f:
            f.write("\n".join(mutated))
        return original

    def restore(self, rel_path, original):
        with open(os.path.join(self.src, rel_path), "w", encoding="utf-8") as f:
            f.write(original)
        os.remove(self.pending)


def draw(rng, sites_by_op, operators, used):
    """One site: an operator drawn evenly among those that have sites, then a site of it."""
    ops = [op for op in operators if any(s not in used for s in sites_by_op[op])]
    if not ops:
        return None
    op = rng.choice(ops)
    free = [s for s in sites_by_op[op] if s not in used]
    site = rng.choice(free)
    used.add(site)
    return op, site


def constant_change(rng, value):
    """Off by one: down or up at random, never below zero."""
    return str(value - 1 if value > 0 and rng.random() < 0.5 else value + 1)


def percent(a, b):
    return "%5.1f %%" % (100.0 * a / b) if b else "    - "


def load_equivalent(path):
    """Reads the reviewed equivalent faults: 'file | line before | line after | why' per line
    (the lines as printed in the missed list, stripped); '#' starts a comment line."""
    known = {}
    if not path or not os.path.exists(path):
        return known
    with open(path) as f:
        for text in f:
            if not text.strip() or text.startswith("#"):
                continue
            parts = [x.strip() for x in text.rstrip("\n").split(" | ")]
            if len(parts) == 4:
                known[tuple(parts[:3])] = parts[3]
    return known


def report(results, equivalent):
    """Prints the rates. A missed fault on the reviewed list counts apart, as 'equivalent':
    it changes no observable result, so no test could catch it. 'rate' leaves those out;
    'raw' counts them as missed."""
    def why(r):
        if r["outcome"] != "missed":
            return None
        return equivalent.get((r["file"], r["before"].strip(), r["after"].strip()))

    print()
    print("%-16s %7s %7s %7s %9s %9s %9s" % ("", "caught", "missed", "equiv.", "no build", "rate", "raw"))

    def row(name, rs):
        c = sum(r["outcome"] == "caught" for r in rs)
        e = sum(why(r) is not None for r in rs)
        m = sum(r["outcome"] == "missed" for r in rs) - e
        nb = sum(r["outcome"] == "no build" for r in rs)
        print("%-16s %7d %7d %7d %9d %9s %9s" % (name, c, m, e, nb, percent(c, c + m), percent(c, c + m + e)))

    row("all", results)
    for sub in sorted({r["subsystem"] for r in results}):
        row(sub, [r for r in results if r["subsystem"] == sub])
    for op in OPERATORS:
        rs = [r for r in results if r["operator"] == op]
        if rs:
            row(op, rs)
    for title, pick in (("missed", lambda r: r["outcome"] == "missed" and why(r) is None),
                        ("equivalent (reviewed)", lambda r: why(r) is not None)):
        rs = [r for r in results if pick(r)]
        if rs:
            print("\n%s:" % title)
            for r in rs:
                print("  %s:%d  %s  ->  %s" % (r["file"], r["line"], r["before"].strip(),
                                              r["after"].strip()))
                if why(r):
                    print("      %s" % why(r))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--rev", default="HEAD", help="git revision to sample (default HEAD)")
    ap.add_argument("--repo", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    ap.add_argument("--count", type=int, default=60, help="faults that compile (default 60)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--operators", default=",".join(OPERATORS),
                    help="comma-separated subset of " + ",".join(OPERATORS))
    ap.add_argument("--paths", default="src/", help="only files whose path starts so")
    ap.add_argument("--skip", default=DEFAULT_SKIP,
                    help="comma-separated path prefixes not sampled (default %s; '' for none)"
                    % DEFAULT_SKIP)
    ap.add_argument("--exclude", default=DEFAULT_EXCLUDE, help="ctest -E regex (long tests)")
    ap.add_argument("--no-bench", action="store_true",
                    help="also exclude the bench node-count test")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--work", help="scratch directory (default /tmp/kestrel-mutate/<sha>)")
    ap.add_argument("--out", help="JSON-lines file of the results (default in the scratch dir)")
    ap.add_argument("--equivalent", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                         "mutate_equivalent.txt"),
                    help="reviewed equivalent faults, counted apart (default scripts/mutate_equivalent.txt)")
    ap.add_argument("--report", metavar="RESULTS",
                    help="only print the report of an earlier run's JSON-lines file")
    ap.add_argument("--dry-run", action="store_true",
                    help="only list the first --count faults drawn; no build")
    args = ap.parse_args()
    operators = [o.strip() for o in args.operators.split(",") if o.strip()]
    skip = tuple(x.strip() for x in args.skip.split(",") if x.strip())
    if args.no_bench:
        args.exclude = "(%s)|(%s)" % (args.exclude, BENCH_TEST)
    for o in operators:
        if o not in OPERATORS:
            sys.exit("unknown operator %s" % o)
    equivalent = load_equivalent(args.equivalent)
    if args.report:
        with open(args.report) as f:
            report([json.loads(x) for x in f if x.strip()], equivalent)
        return

    sha = subprocess.check_output(["git", "-C", args.repo, "rev-parse", args.rev + "^{commit}"],
                                  text=True).strip()
    if not args.work:
        args.work = os.path.join("/tmp/kestrel-mutate", sha[:12])
    tree = Tree(args)
    tree.export(args.repo, args.rev)
    out_path = args.out or os.path.join(args.work, "results-seed%d.jsonl" % args.seed)
    log = os.path.join(args.work, "last.log")

    # Ctrl-C and kill end the loop through the finally below, which restores the file.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))

    sites_by_op = {op: [] for op in OPERATORS}
    file_lines = {}
    for rel in source_files(tree.src):
        if not rel.startswith(args.paths) or (skip and rel.startswith(skip)):
            continue
        sites, lines = find_sites(tree.src, rel)
        file_lines[rel] = lines
        for (op, idx, col, old, new) in sites:
            sites_by_op[op].append((rel, idx, col, old, new))
    for op in OPERATORS:
        sites_by_op[op].sort()
    print("sites: " + ", ".join("%s %d" % (op, len(sites_by_op[op])) for op in operators))

    rng = random.Random(args.seed)
    used = set()
    if args.dry_run:
        for _ in range(args.count):
            drawn = draw(rng, sites_by_op, operators, used)
            if drawn is None:
                break
            op, (rel, idx, col, old, new) = drawn
            new = constant_change(rng, new) if op == "constant" else new
            print("%-10s %s:%d  %s  [%s -> %s]" % (op, rel, idx + 1, file_lines[rel][idx].strip(),
                                                   old, new or "(removed)"))
        return
    print("revision %s in %s; tests excluded: %s" % (sha[:12], args.work, args.exclude))
    rc = tree.configure_and_build(log)
    if rc != 0:
        sys.exit("the unmutated tree does not build; see %s" % log)
    rc, base_secs = tree.test(None, log)
    if rc != 0:
        sys.exit("the unmutated tree fails its tests; see %s" % log)
    # A fault that makes a test loop is caught by the time-out.
    timeout = max(120.0, 4 * base_secs)
    print("baseline tests pass in %.0f s; time-out per fault %.0f s" % (base_secs, timeout))



    results = []
    compiled = 0
    out = open(out_path, "w")
    try:
        while compiled < args.count and len(results) < 4 * args.count:
            drawn = draw(rng, sites_by_op, operators, used)
            if drawn is None:
                break
            op, (rel, idx, col, old, new) = drawn
            new = constant_change(rng, new) if op == "constant" else new
            lines = file_lines[rel]
            original = tree.mutate(rel, lines, idx, col, old, new)
            started = time.time()
            try:
                if tree.configure_and_build(log) != 0:
                    outcome = "no build"
                else:
                    compiled += 1
                    rc, _ = tree.test(timeout, log)
                    outcome = "missed" if rc == 0 else "caught"
            finally:
                tree.restore(rel, original)
            line = lines[idx]
            r = {"file": rel, "line": idx + 1, "subsystem": subsystem(rel), "operator": op,
                 "before": line, "after": line[:col] + new + line[col + len(old):],
                 "outcome": outcome, "seconds": round(time.time() - started, 1)}
            results.append(r)
            out.write(json.dumps(r) + "\n")
            out.flush()
            print("%3d %-8s %5.0fs  %s:%d  %s -> %s" % (len(results), outcome, r["seconds"], rel,
                                                       idx + 1, old, new or "(removed)"),
                  flush=True)
    except KeyboardInterrupt:
        print("interrupted; the file was restored")
    finally:
        out.close()
    # Leave the build matching the unmutated sources.
    tree.configure_and_build(log)
    report(results, equivalent)
    print("\nresults in %s" % out_path)


if __name__ == "__main__":
    main()
