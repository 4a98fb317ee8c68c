// Staged move selection: the node search takes its moves one at a time from a
// picker that generates and orders them in stages, so that an early cutoff
// saves the later work. NextMove serves ordinary nodes, NextEvasion nodes in
// check, NextQuiescenceMove the quiescence search. Each call puts the move into
// the ply's currentMove and returns the stage code it came from (0: no move left).
//
// The caller sets ply[p].pickerStage to PickerStart (ordinary and evasion
// pickers) or QuiescenceStart before the first call, and ply[p].hashMove (the
// node search sets the table's move). The list of ply p is built on the block's move stack right
// after the list of ply p - 1 (ListStart).
#pragma once

#include "board/position.h"
#include "search/search_block.h"

namespace kestrel {

// Stage codes returned by the pickers.
enum PickerCode : int {
  PickNone = 0,
  PickHash = 1,          // the hash move (NextMove, NextEvasion)
  PickGoodCapture = 4,   // a capture scored >= 0, best first
  PickKiller1 = 5,
  PickKiller2 = 6,
  PickQuiet = 8,         // quiet moves and drops, best history first
  PickBadCapture = 11,   // captures that lose in the exchange, last
  PickEvasion = 13,
  PickQuiescence = 16
};
// pickerStage values to start with.
constexpr int PickerStart = 1;
constexpr int QuiescenceStart = 15;

// Moves of these stages are late moves, which may be searched shallower: everything but
// the hash move, good captures, killers and evasions.
inline bool IsLatePick(int stage) {
  return stage == PickQuiet || stage == PickBadCapture;
}

// First slot of the move list of a ply.
inline Move* ListStart(SearchBlock& b, int ply) {
  return ply > 0 ? b.ply[ply - 1].moveListEnd : b.moveStack;
}

int NextMove(SearchBlock& thread, int ply, int side);
int NextEvasion(SearchBlock& thread, int ply, int side);
// alpha and qdepth screen the list when it is built (futility against the ply's
// staticEval, which the caller sets first; pawn-only work from qdepth 7 on).
int NextQuiescenceMove(SearchBlock& thread, int ply, int alpha, int side, int qdepth);

// Whether a killer move can still be played here: the piece is on its square,
// a slider's path is clear, the target holds the captured code (not a king);
// a drop has an empty target, the piece in hand and, for a pawn, a free file.
bool IsMoveValid(const Position& p, Move move, int side);
// `side` has an unpromoted pawn on the file of `square`.
bool PawnOnFile(const Position& p, Square square, int side);
// Promoting moves of rooks, bishops and pawns (captures included), in that order.
Move* GeneratePromotions(const Position& p, Move* list, int side);

}  // namespace kestrel
