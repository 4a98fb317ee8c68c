// Depth-first proof-number mate solver: attacker nodes try only checks, defender
// nodes only evasions; one proof/disproof pair per node in negamax form, thresholds
// per ply, results kept in the mate table.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "board/line_sink.h"
#include "board/position.h"
#include "mate/mate_table.h"

namespace kestrel {

// Per-ply limit of the search and the size of the shared move stack.
constexpr int MatePlyLimit = 2000;
constexpr int MateStackSize = 200000;

// Key and Black hand of a position on the current path.
struct MatePathEntry {
  HashKey keyBoard;
  uint32_t hand;
};

// What a node last learnt of one of its children.
struct MateChildMemo {
  uint32_t phi, delta, length;
};

// The solver's per-ply arrays, indexed by ply (the root is ply 1).
struct MateWorkArea {
  Move moveStack[MateStackSize];
  int listEnd[MatePlyLimit + 1];  // index into moveStack just past the ply's moves
  uint32_t phiBound[MatePlyLimit + 2];
  uint32_t deltaBound[MatePlyLimit + 2];
  uint32_t mateLength[MatePlyLimit + 1];
  MatePathEntry pathHistory[MatePlyLimit + 1];
  // Serial number of the node searched at each ply of the current path; serials grow
  // with depth, so a serial names one node of the path as long as it is on the path.
  uint32_t nodeSerial[MatePlyLimit + 2];
  // Per move of the stack: the board key and Black hand of the position it leads to,
  // and the path tag of that child when the move leads back into the path, else 0.
  MatePathEntry childKey[MateStackSize];
  uint32_t repeatTag[MateStackSize];
  // Per move of the stack: the table word on its child as last seen (phi, delta and the
  // length word), read where the table has since lost the child's entry.
  MateChildMemo childMemo[MateStackSize];
  // While a line read-out proves a stretch again: the positions of the line above the
  // nested solve's root (even index: attacker to move), which count as returns into
  // the path. Empty in an ordinary solve.
  MatePathEntry linePrefix[MatePlyLimit + 1];
  int linePrefixLength;
};

// How the last solve ended.
enum MateOutcome : int {
  MateProved = 1,    // the root is proved: a mate exists
  MateNotProved = 0, // disproved: no mate by checks exists, whatever the path
  MateLimitHit = 2,  // unresolved: ended by the node, time, ply or move-stack limit,
                     // a stop request, or numbers that outgrew the root's thresholds
};

// The limits of one solve: past `nodes` moves, or once `timeMs` milliseconds have passed
// since its start (-1: no time limit), it ends unresolved.
constexpr uint32_t MateNodesUnlimited = 0xFFFFFFFFu;
struct MateLimits {
  uint32_t nodes = MateNodesUnlimited;
  int64_t timeMs = -1;
  // When set (the search's quick tests), a solve also ends unresolved once the root's
  // proof or disproof number reaches the largest finite value: such trees are given up.
  // "go mate" clears it and goes on until a proof, a disproof or one of its limits.
  bool giveUpLargeTrees = true;
  // The ply at which the search is cut off (at most MatePlyLimit; lowered only by tests).
  int plyLimit = MatePlyLimit;
};

struct MateLineReader;

// The mate solver of one engine: its table, its work area and the counters of the last
// solve. A solve ends early when the owner's stop flag (given at construction) is set.
class MateSolver {
 public:
  explicit MateSolver(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
  MateSolver(const MateSolver&) = delete;
  MateSolver& operator=(const MateSolver&) = delete;
  ~MateSolver();

  // Searches for a forced mate by `attacker`, who moves first whatever the side to move,
  // within `limits`. Returns 1 when a mate is proved, else 0; Outcome() tells why. With
  // `info` the proved line is read out and reported as an "info" line, when it reads out
  // as a mate.
  int Solve(Position& p, int attacker, const MateLimits& limits, const LineSink* info = nullptr);

  // Reads the proved line out of the table after a successful solve and appends it to
  // `out`, each move followed by one blank, counting its moves in LineLength(). Returns
  // true only for a line that mates: attacker moves are checks, each defender move is
  // the longest defence the table knows, no position of the line comes twice, and the
  // last position leaves the defender no move. Where the table cannot give such a line it
  // proves the stretch again from the point where the line breaks. On false `out` is
  // left as it was. *first (when given) receives the line's first move, or NoMove.
  bool AppendLine(Position& p, int side, std::string& out, Move* first = nullptr);

  // Resets the table entry of the position after `move` to unknown.
  void ForgetChild(int side, Position& p, Move move);

  // What the last solve did: moves searched, how it ended (MateOutcome), and the length in
  // plies of the last line read out (0 when none was).
  uint32_t Nodes() const { return nodes_; }
  int Outcome() const { return outcome_; }
  int LineLength() const { return work_ ? (int)work_->mateLength[1] : 0; }
  // True once a solve or a read-out has run (the work area exists).
  bool HasRun() const { return work_ != nullptr; }

  MateTable& Table() { return table_; }
  const MateTable& Table() const { return table_; }

 private:
  struct ChildValues;
  struct ChildScan;
  void AllocateWorkArea();
  // A solve that keeps the asked limits and the work area's line prefix: the read-out's
  // own proofs of a stretch go through it.
  int SolveAgain(Position& p, int attacker, const MateLimits& limits, const LineSink* info);
  bool ProveAgain(MateLineReader& r);
  bool ReadAttack(MateLineReader& r, uint32_t bound);
  bool ReadDefence(MateLineReader& r, uint32_t bound);
  uint32_t ProvedLostLength(const Position& p, int side) const;
  uint32_t ProvedWonLength(const Position& p, int side) const;
  int PathRepeats(int ply, int mode, HashKey keyBoard, uint32_t hand) const;
  bool LinePrefixRepeats(int ply, int mode, HashKey keyBoard, uint32_t hand) const;
  bool TagOnPath(uint32_t tag, int top) const;
  uint32_t SettleTag(uint32_t tag, int ply) const;
  uint32_t RepeatTagOf(const MatePathEntry& child, int nodeType, int ply) const;
  ChildValues ProbeChild(int i, int side, int nodeType, int ply) const;
  void ScanChildren(int side, int nodeType, int ply, ChildScan& s) const;
  bool CheckClock() const;
  void Resolve(Position& p, int side, int ply, uint32_t phi, uint32_t delta, uint32_t length);
  void SearchNode(Position& p, int side, int nodeType, int ply);

  const std::atomic<bool>* stop_;
  MateTable table_;
  MateWorkArea* work_ = nullptr;
  uint32_t nodes_ = 0;
  bool aborted_ = false;
  bool kingMissing_ = false;
  int outcome_ = MateNotProved;
  // The limits the last Solve was asked for and when it started (milliseconds); a line
  // read-out proves stretches again within them.
  MateLimits askedLimits_;
  int64_t askedStart_ = 0;
  // The running solve: its limits, start, clock countdown, the serial of the last node
  // entered and the path tag of the root's result (only a depth tag can survive).
  MateLimits runningLimits_;
  int64_t solveStart_ = 0;
  int32_t clockCountdown_ = 0;
  uint32_t serial_ = 0;
  uint32_t rootTag_ = 0;
};

}  // namespace kestrel
