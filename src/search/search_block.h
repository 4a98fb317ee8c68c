// One thread's complete search state (a search block): its position copy, the
// per-ply arrays of the node search and the pickers, node counters, and the
// split-point record used by the parallel search.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/makemove.h"
#include "board/position.h"
#include "board/types.h"
#include "eval/eval_accumulator.h"

namespace kestrel {

constexpr int MaxPly = 51;               // plies 0..50
constexpr int PlyCount = MaxPly;
// The deepest ply a node is searched at; deeper ones answer at once (the arrays
// keep room for the children of this ply).
constexpr int DeepestPly = 48;
constexpr int RootPly = 1;               // the root position is searched at ply 1
constexpr int MoveStackSize = 24 * 1024; // one move stack shared by all plies of a block
constexpr int MaxSearchedMoves = 1024;   // moves searched at one node (for history updates)
constexpr int MaxThreads = 32;

// State of a ply's evaluation accumulator: unknown (computed from scratch when needed),
// to be derived from the ply before through the move recorded with it, or valid.
enum AccumulatorState : uint8_t { AccUnknown, AccFromParent, AccValid };

// Per-ply state of the node search and the staged pickers.
struct PlyState {
  Move currentMove;
  Move hashMove;        // the table's move (or internal deepening's), tried first
  Move killers[2];
  uint8_t inCheck;
  uint8_t givesCheck;   // the move just made into this ply gives check
  uint8_t mateThreat;   // the null move of this node was answered by a mate
  int staticEval;       // ScoreNone until evaluated
  Move* moveListEnd;    // this ply's list runs from moveListEnd of the ply before to here
  Move* pickerNext;
  int pickerCount;
  int pickerStage;      // the picker's own state (see picker.h)
  uint8_t nullMoveMade; // the move made from this ply is a null move
  uint8_t lateMove;     // the move searched from this ply came late in the ordering (IsLatePick)
  MoveUndo undo;        // of the move (or null move) made from this ply
  int searchedCount;    // moves recorded in the block's searched list for this ply
  int moveCount;        // legal moves taken at this node so far (by every thread)
  uint8_t accState;     // AccumulatorState of the ply's accumulator
  Move accMove;         // the move that led here from the ply before (0 = a null move)
};

// Triangular principal-variation table indexed by absolute ply: row p holds the line
// from ply p in moves[p..length] (so the root line, row 1, starts at index 1); the row
// is empty when length < p. Each row also keeps a flag and the iteration depth.
struct PvRow {
  Move moves[MaxPly + 2];
  int length;           // ply of the last move of the line
  int flag;             // 1 = cut short by a repetition or a fail-high
  int depth;            // iteration depth the line was found in
};

struct SearchBlock;
struct Engine;

// A spin lock taken with an atomic exchange.
struct SpinLock {
  std::atomic<int> v{0};
  void Lock() {
    while (v.exchange(1, std::memory_order_acquire)) {
      while (v.load(std::memory_order_relaxed)) {
      }
    }
  }
  void Unlock() { v.store(0, std::memory_order_release); }
};

struct alignas(128) SearchBlock {
  Position pos;
  PlyState ply[MaxPly + 2];
  PvRow pv[MaxPly + 1];
  EvalAccumulator acc[MaxPly + 2];         // positional sums per ply, apart from the hot per-ply state
  Move moveStack[MoveStackSize];
  int moveScores[MoveStackSize];           // scratch scores parallel to the list being sorted
  Move searched[MaxPly + 1][MaxSearchedMoves];
  uint64_t nodes;
  uint64_t qnodes;
  int selDepth;           // the deepest ply a node of this block reached (for "info" lines)
  Engine* engine;         // the engine this block searches for

  // Split record.
  std::atomic<int> inUse;
  std::atomic<int> stop;
  std::atomic<int> splitBest;
  int alpha, beta, side, plyAt, depth, mateThreat;
  Move splitBestMove;     // the move that gave splitBest
  bool splitInCheck;      // the side to move at the split node is in check
  int threadId;
  SpinLock lock;
  SearchBlock* children[MaxThreads];
  std::atomic<int> childCount;
  SearchBlock* parent;
  bool atRoot;            // the split point is the root move list
};

// Empties every ply's list, variation and evaluation before a search; killers stay.
void ResetSearchBlock(SearchBlock& b);

// The move made `back` plies before `ply` on the block's line; 0 above the root or for a
// null move.
inline Move MoveBefore(const SearchBlock& b, int ply, int back) {
  return ply - back >= RootPly ? b.ply[ply - back].currentMove : 0;
}

}  // namespace kestrel
