#!/usr/bin/env python3
"""Runs a USI engine with time odds: every "go" it receives has its byoyomi multiplied.

usage: time_odds.py FACTOR ENGINE [ARGS...]

Stands between a match driver and the engine, passing every line through unchanged
except the byoyomi of "go" lines, which becomes FACTOR times as long. The driver starts
an engine without arguments, so give it a two-line shell script that runs this one with
the factor and the engine (docs/search.md has the commands), and a tolerance covering
the extra time: for a factor of 3 at byoyomi 1000, 2500 ms.
"""
import re
import subprocess
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    factor = float(sys.argv[1])
    engine = subprocess.Popen(sys.argv[2:], stdin=subprocess.PIPE, stdout=sys.stdout, bufsize=0)
    scale = lambda m: "byoyomi %d" % int(int(m.group(1)) * factor)
    for line in sys.stdin:
        if line.startswith("go"):
            line = re.sub(r"byoyomi (\d+)", scale, line)
        engine.stdin.write(line.encode())
        engine.stdin.flush()
        if line.strip() == "quit":
            break
    engine.stdin.close()
    engine.wait()


if __name__ == "__main__":
    main()
