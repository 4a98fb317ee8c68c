// An engine's record of the game and its search: the root position, the running
// search's results and status, the clock and its accounting, and the parallel
// search's limits. Each engine owns one, allocated zero-filled.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/clock.h"
#include "board/position.h"
#include "board/types.h"

namespace kestrel {

// searchStatus codes.
enum SearchStatusCode : int {
  StatusNormal = 0, StatusTimeUp = 1, StatusPonderNothing = 4, StatusLoss = 5,
  StatusPonderMate = 6, StatusWin = 7, StatusHandGain = 9, StatusStopped = 14, StatusGameover = 15
};
// resultCode codes.
enum ResultCodeValue : int { ResultNone = 0, ResultNoMove = 1, ResultDeclaration = 6, ResultFlagged = 8 };

// One root move: the move, a flags byte and the node count of its subtree.
struct RootMove {
  Move move;
  uint8_t flags;
  uint64_t nodes;
};
// Root flag bits: the entry was searched in this iteration; and, in the first entry
// only, the counts of fail lows and fail highs of the iteration (one bit per event).
constexpr uint8_t RootSearched = 0x40;
constexpr uint8_t FailLowBits = 0x07;
constexpr uint8_t FailHighBits = 0x38;
constexpr int MaxRootMoves = 1024;

// All times are kept in milliseconds (the clock's own resolution); the rules that
// speak of whole seconds compare against seconds * 1000.
struct SearchState {
  Position root;
  int sideToMove;
  int moveCount;
  // Written by whichever search thread finds a new best root move, read by all.
  std::atomic<Move> bestMove;
  std::atomic<int> rootScore;
  std::atomic<int> searchStatus;
  int resultCode;
  int pondering;
  int iterationDepth, rootAlpha, rootBeta, previousScore;
  int64_t searchStartMs;  // NowMs() when the running search began (for "info" times)
  RootMove rootMoves[MaxRootMoves];
  int rootMoveCount;
  Move easyMove;
  Move lastMovePlayed;  // the last move of the game so far (0 when unknown)

  // Clock of the last "go" (milliseconds) and "infinite".
  int64_t blackRemaining, whiteRemaining, byoyomi;
  int64_t blackIncrement, whiteIncrement;  // earned by each move of the side ("binc", "winc")
  int noTimeLimit;
  // Time accounting, per side index (0 Black, 1 White), milliseconds.
  int64_t usedThisMove[2], usedInGame[2], byoyomiUsed[2];
  int64_t lastStamp;
  int rootSide;
  int64_t budget, maxTime, easyTime;
  int64_t timeMarginMs;

  // Parallel search.
  int maxHelpersPerSplit;
  int minSplitDepth;  // quarter plies
  int rootSplitAllowed;
};

}  // namespace kestrel
