#!/usr/bin/env python3
# Usage: scripts/multipv_bench.py ENGINE WORKDIR src/app/bench_command.cpp
"""Nodes and time to depth 10 with MultiPV 1 and MultiPV 4 on the bench positions, one
thread, a new game (cleared tables) before each search; the four lines' scores at depth 10."""
import os, subprocess, sys, re
engine, workdir, src = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
text = open(src).read()
block = text[text.index("BenchPositions[] = {"):]
block = block[:block.index("};")]
positions = re.findall(r'"([^"]+)"', block)
def run(pos, k, depth=10):
    script = f"usi\nsetoption name MultiPV value {k}\nisready\nusinewgame\nposition {pos}\ngo depth {depth}\n"
    p = subprocess.Popen([engine], cwd=workdir, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    p.stdin.write(script); p.stdin.flush()
    lines = []
    for l in p.stdout:
        l = l.rstrip("\n")
        lines.append(l)
        if l.startswith("bestmove"):
            break
    p.stdin.write("quit\n"); p.stdin.flush(); p.wait()
    last = {}
    for l in lines:
        m = re.search(r" depth (\d+) .* nodes (\d+) .*?(?:multipv (\d+) )?score (cp|mate) (-?\d+)", l)
        t = re.search(r"info time (\d+) ", l)
        if m and t and " pv " in l and int(m.group(1)) == depth:
            last[int(m.group(3) or 1)] = (int(t.group(1)), int(m.group(2)), m.group(4) + " " + m.group(5))
    return last, lines[-1]
tot = {1: [0, 0], 4: [0, 0]}
print("| # | MultiPV 1 nodes | ms | MultiPV 4 nodes | ms | the four scores at depth 10 |")
print("|---|---|---|---|---|---|")
for i, pos in enumerate(positions, 1):
    r1, b1 = run(pos, 1)
    r4, b4 = run(pos, 4)
    if 1 not in r1 or not r4:
        print(f"| {i} | no depth-10 line ({b1}) | | ({b4}) | | |")
        continue
    one = max(r1.values(), key=lambda x: x[1])
    # the set printed last holds the highest node count
    four_nodes = max(v[1] for v in r4.values()); four_ms = max(v[0] for v in r4.values())
    scores = ", ".join(r4[k][2] for k in sorted(r4))
    tot[1][0] += one[1]; tot[1][1] += one[0]; tot[4][0] += four_nodes; tot[4][1] += four_ms
    print(f"| {i} | {one[1]} | {one[0]} | {four_nodes} | {four_ms} | {scores} |")
print(f"| all | {tot[1][0]} | {tot[1][1]} | {tot[4][0]} | {tot[4][1]} | ratio nodes {tot[4][0]/max(1,tot[1][0]):.2f}, time {tot[4][1]/max(1,tot[1][1]):.2f} |")
