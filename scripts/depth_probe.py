#!/usr/bin/env python3
"""Depth a USI engine reaches in a fixed time on each of a list of positions.

usage: depth_probe.py [--ms 1000] [--option NAME=VALUE ...] [--dir DIR] ENGINE POSITIONS_FILE

POSITIONS_FILE holds one USI position text per line ("startpos moves ..." or
"sfen ..."; lines starting with "#" are skipped). Each position is a game of its own
("usinewgame", "go byoyomi MS" with no main time, "gameover"); the last "info depth"
line before "bestmove" gives the depth. Prints one line
per position and the median and minimum.
"""
import argparse
import statistics
import subprocess


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ms", type=int, default=1000)
    ap.add_argument("--option", action="append", default=[])
    ap.add_argument("--dir", default=None, help="directory the engine starts in")
    ap.add_argument("engine")
    ap.add_argument("positions")
    a = ap.parse_args()
    lines = [l.strip() for l in open(a.positions) if l.strip() and not l.startswith("#")]
    p = subprocess.Popen([a.engine], cwd=a.dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         text=True, bufsize=1)

    def send(s):
        p.stdin.write(s + "\n")
        p.stdin.flush()

    def wait_for(prefix):
        out = []
        while True:
            l = p.stdout.readline()
            if not l:
                raise SystemExit("engine ended")
            out.append(l.strip())
            if l.startswith(prefix):
                return out

    send("usi")
    wait_for("usiok")
    for o in a.option:
        name, value = o.split("=", 1)
        send(f"setoption name {name} value {value}")
    depths = []
    for i, pos in enumerate(lines, 1):
        send("isready")
        wait_for("readyok")
        send("usinewgame")
        send("position " + pos)
        send(f"go btime 0 wtime 0 byoyomi {a.ms}")
        out = wait_for("bestmove")
        send("gameover draw")
        depth = 0
        for l in out:
            t = l.split()
            if len(t) > 2 and t[0] == "info" and "depth" in t:
                depth = int(t[t.index("depth") + 1])
        depths.append(depth)
        print(f"position {i:2d}: depth {depth:2d}  {out[-1]}", flush=True)
    send("quit")
    print(f"median {statistics.median(depths)}, minimum {min(depths)}, positions {len(depths)}")


if __name__ == "__main__":
    main()
