// Playing and taking back one move with incremental bitboards, hands, keys and material.
#pragma once

#include "board/position.h"

namespace kestrel {

// Plays a move; trusts it completely.
void MakeMove(Position& p, Move m);
// Takes a move back; the caller restores keyFull and keyBoard it saved before MakeMove.
void UnmakeMove(Position& p, Move m);
// What UnmakeMove does not restore by itself: the two keys, and the length of the
// game history (positions recorded after the move are dropped with it).
struct MoveUndo {
  HashKey keyFull, keyBoard;
  uint32_t historyCount;
};

// The make/unmake pair for everything outside the board core: PlayMove plays m and
// returns what TakeBackMove needs to restore the position exactly.
inline MoveUndo PlayMove(Position& p, Move m) {
  const MoveUndo undo{p.keyFull, p.keyBoard, p.historyCount};
  MakeMove(p, m);
  return undo;
}
inline void TakeBackMove(Position& p, Move m, const MoveUndo& undo) {
  UnmakeMove(p, m);
  p.keyFull = undo.keyFull;
  p.keyBoard = undo.keyBoard;
  p.historyCount = undo.historyCount;
}

// Appends the current position to the game history, which the repetition rules read;
// `inCheck`: the side to move now is in check. The caller keeps the history below
// HistorySize (a game position leaves HistoryReserve entries free for a search).
inline void RecordPosition(Position& p, bool inCheck) {
  p.historyCount += 1;
  HistoryEntry& h = p.history[p.historyCount];
  h.keyBoard = p.keyBoard;
  h.hand = p.hand[0];
  h.inCheck = inCheck;
}

// The null move: the board stays, the position is recorded again (not in check) for
// the other side to move. TakeBackNullMove drops the record.
inline MoveUndo PlayNullMove(Position& p) {
  const MoveUndo undo{p.keyFull, p.keyBoard, p.historyCount};
  RecordPosition(p, false);
  return undo;
}
inline void TakeBackNullMove(Position& p, const MoveUndo& undo) {
  p.keyFull = undo.keyFull;
  p.keyBoard = undo.keyBoard;
  p.historyCount = undo.historyCount;
}

// Applies only the key and hand changes of a move (the caller saves and restores
// both keys and both hand words).
void AdvanceKeys(Position& p, Move m);

}  // namespace kestrel
