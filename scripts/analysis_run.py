#!/usr/bin/env python3
# Usage: scripts/analysis_run.py ENGINE WORKDIR POSITIONS_FILE (one USI position text a line).
"""A GUI-style analysis run: usinewgame, then for each position "position ... / go infinite",
"stop" after a second; prints the transcript (without currmove lines) and checks exactly one
bestmove per go, in order."""
import os, subprocess, sys, threading, time, queue

engine, workdir, posfile = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
positions = [l.strip() for l in open(posfile) if l.strip()]
p = subprocess.Popen([engine], cwd=workdir, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
q = queue.Queue()
def reader():
    for line in p.stdout:
        q.put((time.time(), line.rstrip("\n")))
    q.put((time.time(), None))
threading.Thread(target=reader, daemon=True).start()
t0 = time.time()
def send(s):
    print(f"{time.time()-t0:7.3f} > {s}")
    p.stdin.write(s + "\n"); p.stdin.flush()
def drain(until=None, timeout=5.0):
    got = []
    end = time.time() + timeout
    while time.time() < end:
        try:
            t, l = q.get(timeout=max(0.01, end - time.time()))
        except queue.Empty:
            break
        if l is None: break
        got.append(l)
        if "currmove" not in l:
            print(f"{t-t0:7.3f} < {l}")
        if until and l.startswith(until): break
    return got
send("usi"); drain("usiok")
send("isready"); drain("readyok", 30)
send("usinewgame")
answers = 0
bad = 0
for i, pos in enumerate(positions):
    send("position " + pos)
    send("go infinite")
    early = drain(timeout=1.0)
    n_early = sum(l.startswith("bestmove") for l in early)
    send("stop")
    late = drain("bestmove", 10)
    n_late = sum(l.startswith("bestmove") for l in late)
    # anything after the answer?
    extra = drain(timeout=0.2)
    n_extra = sum(l.startswith("bestmove") for l in extra)
    ok = n_early == 0 and n_late == 1 and n_extra == 0
    answers += n_early + n_late + n_extra
    bad += not ok
    print(f"# position {i+1}: bestmove lines before stop {n_early}, after stop {n_late}, later {n_extra}: {'ok' if ok else 'WRONG'}")
send("isready"); drain("readyok", 5)
send("quit")
print(f"# {len(positions)} searches, {answers} bestmove lines, {bad} wrong")
sys.exit(1 if bad else 0)
