#!/usr/bin/env python3
"""Soak test: drives the engine the way a GUI does, at short clocks, with USI_Ponder on and
"stop", "ponderhit", "gameover" and new "go" lines sent at random moments, and checks
every answer. A developer's tool, too long for the test command.

usage: scripts/soak.py [--engine build/kestrel] [--threads 2,4] [--minutes 3] [--seed S]
                       [--tolerance MS] [--prompt MS] [--log FILE]

The engine plays one side of games that start from the start position after a few random
moves or from the positions of scripts/depth_positions.txt; the script plays the other
side (the engine's ponder move most of the time, else a random legal move) and keeps both
clocks. Sessions alternate the thread counts given and the engine's working directory: a
copy of data/ (piece values and weights) or an empty directory (no data files). Each
session ends with "quit" and the exit code.

Checks, each failure printed with the session's recent traffic:
  - the process never dies, and exits with 0 on "quit";
  - every "bestmove" is a legal move of its position, "resign" or "win" (legality from
    `kestrel perft divide 1`, the engine's own legal-move generator, not its search);
  - every "go" gets exactly one "bestmove", within the side's time plus byoyomi plus
    --tolerance (for a pondering search, counted from "ponderhit"); a "stop" that may
    have crossed the answer is allowed to repeat it once;
  - a "stop" of a pondering search is answered within --prompt ms, a "gameover" during a
    search gives no answer to a "go ponder" and at most one to a "go", and "isready" after
    it is answered within --prompt ms.
Exit code 0 when no check failed.
"""
import argparse
import collections
import os
import queue
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Fault(Exception):
    pass


class Legal:
    """Legal moves of USI position texts, from the engine's perft mode (cached)."""

    def __init__(self, engine):
        self.engine = engine
        self.cache = {}

    def moves(self, position):
        if position not in self.cache:
            out = subprocess.run([self.engine, "perft", "divide", "1", position], capture_output=True,
                                 text=True, timeout=60, cwd=tempfile.gettempdir())
            if out.returncode != 0:
                raise Fault("perft failed on '%s': %s" % (position, out.stderr.strip()))
            lines = out.stdout.split("\n")
            self.cache[position] = [l.split()[0] for l in lines if len(l.split()) == 2 and not l.startswith("time")]
        return self.cache[position]


class Engine:
    """The engine process; its output lines are read by a thread into a queue."""

    def __init__(self, binary, workdir, log):
        self.log = log
        self.start = time.monotonic()
        self.last_send = self.start
        self.recent = collections.deque(maxlen=60)
        self.proc = subprocess.Popen([binary], cwd=workdir, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._reader, daemon=True).start()

    def _reader(self):
        for line in self.proc.stdout:
            self.lines.put((time.monotonic(), line.rstrip("\n")))
        self.lines.put((time.monotonic(), None))

    def send(self, text, category="flow"):
        now = time.monotonic()
        # The format of tests/usi/cases: wait before the line, category, the bytes sent.
        self.recent.append("%.3f\t%s\t%r" % (now - self.last_send, category, (text + "\n").encode()))
        if self.log:
            self.log.write(self.recent[-1] + "\n")
        self.last_send = now
        try:
            self.proc.stdin.write(text + "\n")
            self.proc.stdin.flush()
        except BrokenPipeError:
            raise Fault("engine gone (exit code %s) when sending '%s'" % (self.proc.poll(), text))
        return now

    def read(self, deadline):
        """The next line and its arrival time, or (None, None) at the deadline."""
        try:
            t, line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            return None, None
        if line is None:
            self.proc.wait(timeout=10)
            err = self.proc.stderr.read().strip()
            raise Fault("engine died (exit code %s)%s" % (self.proc.returncode, ": " + err if err else ""))
        if not line.startswith("info"):
            self.recent.append("<- " + line)
        return t, line

    def drain(self):
        """Takes the lines already received: a bestmove among them answered nothing."""
        while True:
            t, line = self.read(time.monotonic())
            if line is None:
                return
            if line.startswith("bestmove"):
                raise Fault("bestmove that answers no go: '%s'" % line)

    def bestmoves(self, deadline, count=1):
        """Up to `count` bestmove lines before the deadline, with their arrival times."""
        found = []
        while len(found) < count:
            t, line = self.read(deadline)
            if line is None:
                break
            if line.startswith("bestmove"):
                found.append((t, line))
        return found

    def until(self, word, deadline):
        """The lines up to one that is `word`; None when the deadline passes first."""
        seen = []
        while True:
            t, line = self.read(deadline)
            if line is None:
                return None
            seen.append(line)
            if line == word:
                return seen

    def quit(self):
        self.send("quit")
        try:
            code = self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Fault("no exit within 30 s of 'quit'")
        if code != 0:
            raise Fault("exit code %d after 'quit'" % code)


class Clock:
    """One game's clock: remaining main time per side (0 Black, 1 White), byoyomi, increment."""

    def __init__(self, rng):
        kind = rng.choice(["byoyomi", "main+byoyomi", "fischer", "sudden"])
        main = {"byoyomi": 0, "main+byoyomi": rng.randint(1000, 5000), "fischer": rng.randint(2000, 6000),
                "sudden": rng.randint(8000, 15000)}[kind]
        self.byoyomi = rng.randint(100, 500) if kind == "byoyomi" else rng.randint(100, 300) if kind == "main+byoyomi" else 0
        self.inc = rng.randint(100, 300) if kind == "fischer" else 0
        self.left = [main, main]
        self.kind = kind

    def go_args(self):
        s = "btime %d wtime %d" % (self.left[0], self.left[1])
        if self.byoyomi:
            s += " byoyomi %d" % self.byoyomi
        if self.inc:
            s += " binc %d winc %d" % (self.inc, self.inc)
        return s

    def limit_ms(self, side):
        return self.left[side] + self.byoyomi

    def charge(self, side, ms):
        """Charges a move's time; False when it ran over the clock (before the tolerance)."""
        over = ms > self.left[side] + self.byoyomi
        self.left[side] = max(0, self.left[side] - int(ms)) + self.inc
        return not over


class Soak:
    def __init__(self, args):
        self.a = args
        self.rng = random.Random(args.seed)
        self.legal = Legal(args.engine)
        self.stats = collections.Counter()
        self.worst = collections.defaultdict(float)
        self.faults = []
        self.log = open(args.log, "w") if args.log else None
        self.openings = [l.strip() for l in open(os.path.join(ROOT, "scripts", "depth_positions.txt"))
                         if l.strip() and not l.startswith("#")]

    # ---- checks -------------------------------------------------------------------

    def check_move(self, position, line):
        """The move of a bestmove line (None for resign and win), checked for legality."""
        parts = line.split()
        if len(parts) < 2:
            raise Fault("bestmove without a move: '%s'" % line)
        move = parts[1]
        if move in ("resign", "win"):
            self.stats["bestmove " + move] += 1
            return None
        if move not in self.legal.moves(position):
            raise Fault("illegal bestmove '%s' in '%s'" % (line, position))
        if len(parts) >= 4 and parts[2] == "ponder":
            after = position + (" " if " moves" in position else " moves ") + move
            if parts[3] not in self.legal.moves(after):
                raise Fault("illegal ponder move '%s' in '%s'" % (line, position))
        return move

    def note(self, name, ms):
        self.worst[name] = max(self.worst[name], ms)

    def one_answer(self, e, position, start, limit_ms, stop_at=None):
        """Reads the answer of one search started at `start`; a stop sent at `stop_at` may
        have crossed the answer and repeat it. Returns (line, milliseconds)."""
        deadline = float("inf") if limit_ms is None else start + (limit_ms + self.a.tolerance) / 1000.0
        if stop_at is not None:
            deadline = min(deadline, stop_at + self.a.prompt / 1000.0)
        got = e.bestmoves(deadline)
        if not got:
            raise Fault("no bestmove within %d ms for '%s'" % ((deadline - start) * 1000, position))
        t, line = got[0]
        ms = (t - start) * 1000
        if limit_ms is not None:
            self.note("think beyond the clock (ms)", ms - limit_ms)
        if stop_at is not None:
            self.note("answer after stop (ms)", (t - stop_at) * 1000)
            # A "stop" read after the answer repeats it; anything else is a second answer.
            extra = e.bestmoves(time.monotonic() + 0.5)
            if extra and extra[0][1].split()[:2] != line.split()[:2]:
                raise Fault("second, different bestmove '%s' after '%s'" % (extra[0][1], line))
            self.stats["stop repeated the answer"] += len(extra)
        self.check_move(position, line)
        return line, ms

    def after_gameover(self, e, result, answers_allowed, position, searching=False):
        """Sends gameover (during a search when `searching`), then isready: readyok must
        come promptly, with at most `answers_allowed` bestmove lines (checked) before it."""
        if not searching:
            e.drain()
        e.send("gameover " + result)
        at = e.send("isready")
        seen = e.until("readyok", at + self.a.prompt / 1000.0)
        if seen is None:
            raise Fault("no readyok within %d ms of isready after gameover" % self.a.prompt)
        self.note("readyok after gameover (ms)", (time.monotonic() - at) * 1000)
        answers = [l for l in seen if l.startswith("bestmove")]
        if len(answers) > answers_allowed:
            raise Fault("%d bestmove lines around gameover, %d allowed" % (len(answers), answers_allowed))
        for line in answers:
            self.check_move(position, line)
        self.stats["gameover"] += 1

    # ---- one game -----------------------------------------------------------------

    def start_position(self):
        if self.rng.random() < 0.5:
            base, plies = "startpos", self.rng.randint(0, 16)
        else:
            base, plies = self.rng.choice(self.openings), self.rng.randint(0, 4)
        pos = base
        for _ in range(plies):
            moves = self.legal.moves(pos)
            if not moves:
                break
            pos = play(pos, self.rng.choice(moves))
        return pos

    def engine_turn(self, e, pos, side, clock):
        """The engine's move in `pos` by one of the GUI's ways of asking; None when the game
        ended by a gameover sent during the search."""
        r = self.rng.random()
        e.drain()
        e.send("position " + pos)
        limit = clock.limit_ms(side)
        start = e.send("go " + clock.go_args(), "flow.go")
        self.stats["go"] += 1
        if r < 0.6:
            line, ms = self.one_answer(e, pos, start, limit)
        elif r < 0.8:
            # "stop" at a random moment of the search: an answer at once.
            time.sleep(self.rng.uniform(0, min(limit, 2000) / 1000.0))
            stop_at = e.send("stop", "flow.stop")
            self.stats["stop during go"] += 1
            line, ms = self.one_answer(e, pos, start, limit, stop_at)
        elif r < 0.9:
            # The same position and a second "go" while the first search runs: two answers.
            time.sleep(self.rng.uniform(0, min(limit, 2000) / 2000.0))
            e.send("position " + pos)
            e.send("go " + clock.go_args(), "flow.go")
            self.stats["go"] += 1
            self.stats["go behind go"] += 1
            line, ms = self.one_answer(e, pos, start, limit)
            self.one_answer(e, pos, start, 2 * limit)
        else:
            time.sleep(self.rng.uniform(0, min(limit, 2000) / 1000.0))
            self.stats["gameover during go"] += 1
            self.after_gameover(e, self.rng.choice(["win", "lose", "draw"]), 1, pos, True)
            return None
        if not clock.charge(side, ms):
            self.stats["over the clock, within the tolerance"] += 1
        return line

    def ponder(self, e, pos, side, clock, best_line):
        """The opponent's turn (the engine plays `side`) with the engine pondering. Returns
        (opponent move, the engine's answer line already given by a ponderhit or None), or
        None when a gameover ended the game."""
        parts = best_line.split()
        guess = parts[3] if len(parts) >= 4 and parts[2] == "ponder" else None
        moves = self.legal.moves(pos)
        actual = guess if guess and self.rng.random() < 0.6 else self.rng.choice(moves)
        think = self.rng.uniform(0, 0.6)
        if not guess or self.rng.random() < 0.2:
            time.sleep(think)
            return actual, None
        pondered = play(pos, guess)
        e.drain()
        e.send("position " + pondered)
        e.send("go ponder " + clock.go_args(), "flow.ponder")
        self.stats["go ponder"] += 1
        time.sleep(think)
        r = self.rng.random()
        if r < 0.05:
            self.stats["gameover during ponder"] += 1
            self.after_gameover(e, self.rng.choice(["win", "lose", "draw"]), 0, pondered, True)
            return None
        if actual == guess:
            at = e.send("ponderhit", "flow.ponderhit")
            self.stats["ponderhit"] += 1
            stop_at = None
            if r < 0.15:
                time.sleep(self.rng.uniform(0, min(clock.limit_ms(side), 2000) / 1000.0))
                stop_at = e.send("stop", "flow.stop")
                self.stats["stop after ponderhit"] += 1
            line, ms = self.one_answer(e, pondered, at, clock.limit_ms(side), stop_at)
            if not clock.charge(side, ms):
                self.stats["over the clock, within the tolerance"] += 1
            return actual, line
        stop_at = e.send("stop", "flow.stop")
        self.stats["ponder miss"] += 1
        self.one_answer(e, pondered, stop_at, None, stop_at)
        return actual, None

    def game(self, e):
        pos = self.start_position()
        clock = Clock(self.rng)
        e.send("usinewgame")
        side = side_to_move(pos)
        pending = None  # the engine's answer already given (after a ponderhit)
        for _ in range(self.a.max_moves):
            line = pending or self.engine_turn(e, pos, side, clock)
            if line is None:
                return
            move = line.split()[1]
            if move in ("resign", "win"):
                self.after_gameover(e, "lose" if move == "resign" else "win", 0, pos)
                return
            pos = play(pos, move)
            self.stats["moves"] += 1
            if not self.legal.moves(pos):
                self.after_gameover(e, "win", 0, pos)
                return
            turn = self.ponder(e, pos, side, clock, line)
            if turn is None:
                return
            actual, pending = turn
            pos = play(pos, actual)
            if not self.legal.moves(pos):
                self.after_gameover(e, "lose", 0, pos)
                return
        self.after_gameover(e, "draw", 0, pos)

    # ---- sessions -----------------------------------------------------------------

    def session(self, threads, with_data):
        work = tempfile.mkdtemp(prefix="kestrel_soak_")
        try:
            if with_data:
                shutil.copytree(os.path.join(ROOT, "data", "Evaluation"), os.path.join(work, "Evaluation"))
            e = Engine(self.a.engine, work, self.log)
            if self.log:
                self.log.write("# session: %d threads, %s\n" % (threads, "data" if with_data else "no data"))
            try:
                e.send("usi")
                if e.until("usiok", time.monotonic() + 30) is None:
                    raise Fault("no usiok")
                for opt in ("ThreadNumber value %d" % threads, "USI_Ponder value true", "USI_Hash value 64"):
                    e.send("setoption name " + opt)
                if e.until("readyok", e.send("isready") + 120) is None:
                    raise Fault("no readyok at start-up")
                end = time.monotonic() + self.a.session_seconds
                while time.monotonic() < end and time.monotonic() < self.stop_at:
                    self.game(e)
                    self.stats["games"] += 1
                e.quit()
            except Fault as f:
                self.faults.append(str(f))
                print("FAULT (%d threads, %s): %s" % (threads, "data" if with_data else "no data", f))
                print("  recent traffic (wait, category, sent / <- received):")
                for l in e.recent:
                    print("    " + l)
                e.proc.kill()
            self.stats["sessions"] += 1
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def run(self):
        self.stop_at = time.monotonic() + self.a.minutes * 60
        threads = [int(t) for t in self.a.threads.split(",")]
        i = 0
        while time.monotonic() < self.stop_at:
            self.session(threads[i % len(threads)], (i // len(threads)) % 2 == 0)
            i += 1
        print("soak: %d sessions, %d games, %d moves, threads %s, seed %d" %
              (self.stats["sessions"], self.stats["games"], self.stats["moves"], self.a.threads, self.a.seed))
        for k in sorted(self.stats):
            if k not in ("sessions", "games", "moves"):
                print("  %-40s %d" % (k, self.stats[k]))
        for k in sorted(self.worst):
            print("  worst %-34s %.0f" % (k, self.worst[k]))
        print("faults: %d" % len(self.faults))
        return 1 if self.faults else 0


def play(position, move):
    return position + (" " if " moves" in position else " moves ") + move


def side_to_move(position):
    """0 for Black, 1 for White to move in a USI position text."""
    words = position.split()
    moves = len(words) - words.index("moves") - 1 if "moves" in words else 0
    first = 1 if words[0] == "sfen" and words[2] == "w" else 0
    return (first + moves) % 2


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--engine", default=os.path.join(ROOT, "build", "kestrel"))
    ap.add_argument("--threads", default="2,4", help="thread counts, one per session in turn")
    ap.add_argument("--minutes", type=float, default=3)
    ap.add_argument("--session-seconds", type=float, default=60, help="length of one engine process")
    ap.add_argument("--max-moves", type=int, default=60, help="engine moves before a game is drawn")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--tolerance", type=int, default=500, help="ms allowed beyond the clock")
    ap.add_argument("--prompt", type=int, default=2000, help="ms allowed for answers that must come at once")
    ap.add_argument("--log", help="write every line sent, in the format of tests/usi/cases")
    sys.exit(Soak(ap.parse_args()).run())


if __name__ == "__main__":
    main()
