// Depth-first proof-number mate solver: attacker nodes try only checks, defender
// nodes only evasions; one proof/disproof pair per node in negamax form, thresholds
// per ply, results kept in the mate table.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"

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

extern MateWorkArea* MateWork;
// The ply at which the search is cut off (at most MatePlyLimit; lowered only by tests).
extern int matePlyLimit;
extern uint32_t mateNodes;
extern bool mateAborted;
extern bool kingMissing;
extern int mateOutcome;
// When set (the default, for the search's quick tests), a solve also ends unresolved once
// the root's proof or disproof number reaches the largest finite value: such trees are
// given up as they always were. "go mate" clears it and goes on until a proof, a
// disproof or one of its limits.
extern bool mateGiveUpLargeTrees;

// Allocates the work area once (zero-filled); later calls do nothing.
void AllocateMateWorkArea();

// The limits of one solve: past `nodes` moves, or once `timeMs` milliseconds have passed
// since its start (-1: no time limit), it ends unresolved.
constexpr uint32_t MateNodesUnlimited = 0xFFFFFFFFu;
struct MateLimits {
  uint32_t nodes = MateNodesUnlimited;
  int64_t timeMs = -1;
};

// Searches for a forced mate by `attacker`, who moves first whatever the side to move,
// within `limits`. Returns 1 when a mate is proved, else 0; mateOutcome tells why.
// With printInfo the proved line is read out and shown in an "info" line, when it reads
// out as a mate.
int SolveMate(Position& p, int attacker, const MateLimits& limits, int printInfo);
// The limits the last SolveMate was asked for and when it started (milliseconds); a
// line read-out proves stretches again within them.
extern MateLimits mateAskedLimits;
extern int64_t mateAskedStart;
// A solve that keeps mateAskedLimits and the work area's line prefix: the read-out's
// own proofs of a stretch go through it.
int SolveMateAgain(Position& p, int attacker, const MateLimits& limits, int printInfo);

// Reads the proved line out of the table after a successful solve and appends it to
// `out`, each move followed by one blank, counting its moves in mateLength[1]. Returns
// true only for a line that mates: attacker moves are checks, each defender move is the
// longest defence the table knows, no position of the line comes twice, and the last
// position leaves the defender no move. Where the table cannot give such a line it
// proves the stretch again from the point where the line breaks. On false `out` is left
// as it was. *first (when given) receives the line's first move, or NoMove.
bool AppendMateLine(Position& p, int side, std::string& out, Move* first = nullptr);
// The same, written to standard output.
bool PrintMateLine(Position& p, int side);

// Resets the table entry of the position after `move` to unknown.
void ForgetMateChild(int side, Position& p, Move move);

}  // namespace kestrel
