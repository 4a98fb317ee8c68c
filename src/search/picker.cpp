// The three staged pickers and their helpers.
#include "search/picker.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "board/attack_tables.h"
#include "board/material.h"
#include "eval/movegain.h"
#include "movegen/attacks.h"
#include "movegen/evasions.h"
#include "movegen/movegen.h"
#include "movegen/see.h"
#include "search/engine.h"
#include "search/history.h"

namespace kestrel {

namespace {

constexpr int HashScore = -999999;

// Internal stages that never come back to the caller.
enum PickerStage : int {
  StageCaptures = 3, StageGoodCaptures = 4, StageKiller1 = 5, StageKiller2 = 6,
  StageHistory = 8, StageQuiets = 9, StageRest = 11,
  StageEvasionScore = 12, StageEvasions = 13, StageQuiescence = 16, StageQuiescenceDone = 19
};

// Value of a move's captured piece and of its mover, promotion ignored.
inline int VictimValue(Move m) { return PieceValue[MoveCaptured(m) & ~16]; }
inline int MoverValue(Move m) { return PieceValue[MovePiece(m) & ~16]; }

// Scores the list (the hash move removed) and sorts it best first, keeping the
// list order among equal scores. Returns the number of good captures: those
// taking a more valuable piece and those that do not lose in the exchange.
int ScoreAndSort(SearchBlock& t, Move* begin, Move* end, Move hash, int side) {
  int32_t* score = t.moveScores;
  const int n = (int)(end - begin);
  int good = 0;
  for (int i = 0; i < n; ++i) {
    const Move m = begin[i];
    if (m == hash) {
      score[i] = HashScore;
      begin[i] = 0;
    } else if (MoverValue(m) < VictimValue(m)) {
      score[i] = VictimValue(m);
      ++good;
    } else {
      score[i] = StaticExchangeOfMove(t.pos, m, side);
      good += score[i] >= 0;
    }
  }
  for (int i = 1; i < n; ++i) {
    const Move m = begin[i];
    const int s = score[i];
    int j = i;
    for (; j > 0 && score[j - 1] < s; --j) {
      begin[j] = begin[j - 1];
      score[j] = score[j - 1];
    }
    begin[j] = m;
    score[j] = s;
  }
  return good;
}

// Hands out the next non-zero entry from pickerNext; false at the end of the list.
inline bool NextInList(PlyState& ps, Move* out) {
  while (ps.pickerNext < ps.moveListEnd) {
    const Move m = *ps.pickerNext++;
    if (m) {
      *out = m;
      return true;
    }
  }
  return false;
}

}  // namespace

bool PawnOnFile(const Position& p, Square square, int side) {
  return IsNonEmpty(PieceBitboard(p, BPawn | SideIndex(side)) & FileMask[ColumnOf[square]]);
}

bool IsMoveValid(const Position& p, Move move, int side) {
  if (move == 0) return false;
  const int from = MoveFrom(move), to = MoveTo(move), pc = MovePiece(move);
  if (to >= SquareCount || SideOfPiece(pc) != side) return false;
  if (from == NoSquare) {
    if (p.board[to] != Empty || pc > BKing || HandCount(p, pc) <= 0) return false;
    return (pc & ~1) != BPawn || !PawnOnFile(p, to, side);
  }
  if (from > NoSquare || p.board[from] != pc) return false;
  const int kind = pc & ~1;
  if (kind == BLance || kind == BBishop || kind == BRook || kind == BHorse || kind == BDragon) {
    if (Direction[from][to] == 0) return false;
    if (IsNonEmpty(Between[from][to] & p.occupiedAll)) return false;
  }
  const int cap = MoveCaptured(move);
  return p.board[to] == cap && (cap & ~1) != BKing;
}

Move* GeneratePromotions(const Position& p, Move* list, int side) {
  const int c = SideIndex(side);
  const Bitboard zone = side == Black ? (RankMask[1] | RankMask[2] | RankMask[3])
                                      : (RankMask[7] | RankMask[8] | RankMask[9]);
  const Bitboard notOwn = Complement(p.occupied[c]);
  for (int code : {BRook | c, BBishop | c})
    for (Square from : Squares(PieceBitboard(p, code))) {
      Bitboard dests = PieceAttacks(p, code, from) & notOwn;
      if (!TestSquare(zone, from)) dests &= zone;
      for (Square to : Squares(dests)) *list++ = EncodeMove(FlagPromote, p.board[to], code, to, from);
    }
  const int pawn = BPawn | c;
  for (Square from : Squares(PieceBitboard(p, pawn))) {
    const Square to = from + (side == Black ? -9 : 9);
    if (to < 0 || to >= SquareCount || !TestSquare(zone, to) || !TestSquare(notOwn, to)) continue;
    *list++ = EncodeMove(FlagPromote, p.board[to], pawn, to, from);
  }
  return list;
}


int NextMove(SearchBlock& t, int ply, int side) {
  PlyState& ps = t.ply[ply];
  Move* const start = ListStart(t, ply);
  for (;;) {
    switch (ps.pickerStage) {
      case PickerStart:
        // 1. The table's move. It is checked against the position: the table is shared
        //    by every thread without locks and keyed by hash, so a move stored for
        //    another position (a torn write, a key collision) must not be made here.
        ps.moveListEnd = start;
        ps.pickerStage = StageCaptures;
        if (ps.hashMove && !IsMoveValid(t.pos, ps.hashMove, side)) ps.hashMove = 0;
        if (ps.hashMove) {
          ps.currentMove = ps.hashMove;
          return PickHash;
        }
        break;
      case StageCaptures:
        // 2. All captures, scored; the good ones first.
        ps.pickerStage = StageGoodCaptures;
        ps.moveListEnd = GenerateCaptures(t.pos, start, side);
        ps.pickerCount = ScoreAndSort(t, start, ps.moveListEnd, ps.hashMove, side);
        ps.pickerNext = start;
        break;
      case StageGoodCaptures:
        // 3. Good captures in order; the losing ones stay in the list.
        if (ps.pickerCount > 0) {
          const Move m = *ps.pickerNext;
          *ps.pickerNext++ = 0;
          if (--ps.pickerCount == 0) ps.pickerStage = StageKiller1;
          ps.currentMove = m;
          return PickGoodCapture;
        }
        ps.pickerStage = StageKiller1;
        break;
      case StageKiller1: {
        // 4. The killers, when still playable here. Killers are quiet moves; one
        // that captures would repeat a capture of step 3, so it is skipped.
        ps.pickerStage = StageKiller2;
        const Move k = ps.killers[0];
        if (k && k != ps.hashMove && !MoveIsCapture(k) && IsMoveValid(t.pos, k, side)) {
          ps.currentMove = k;
          return PickKiller1;
        }
        break;
      }
      case StageKiller2: {
        ps.pickerStage = StageQuiets;
        const Move k = ps.killers[1];
        if (k && k != ps.hashMove && k != ps.killers[0] && !MoveIsCapture(k) &&
            IsMoveValid(t.pos, k, side)) {
          ps.currentMove = k;
          return PickKiller2;
        }
        break;
      }
      case StageQuiets: {
        // 5. Quiet board moves and drops after the losing captures left in the list,
        //    without the moves already handed out, sorted by history and continuation
        //    history (stable).
        Move* const quiets = ps.moveListEnd;
        ps.moveListEnd = GenerateNonCaptures(t.pos, quiets, side);
        ps.moveListEnd = GenerateDrops(ps.moveListEnd, t.pos, side);
        const Move k1 = MoveIsCapture(ps.killers[0]) ? 0 : ps.killers[0];
        const Move k2 = MoveIsCapture(ps.killers[1]) ? 0 : ps.killers[1];
        const Move prev1 = MoveBefore(t, ply, 1), prev2 = MoveBefore(t, ply, 2);
        // One sort key per move: its score, then its place in the list (earlier first
        // among equal scores), then the move itself.
        int64_t key[MaxMoves];
        int n = 0;
        for (Move* m = quiets; m < ps.moveListEnd; ++m) {
          if (*m == ps.hashMove || *m == k1 || *m == k2) continue;
          key[n] = t.engine->history.QuietMoveScore(*m, side, prev1, prev2) * (int64_t(1) << 42) + (int64_t(MaxMoves - 1 - n) << 32) + *m;
          ++n;
        }
        std::sort(key, key + n, std::greater<int64_t>());
        for (int i = 0; i < n; ++i) quiets[i] = (Move)(uint32_t)key[i];
        ps.pickerCount = (int)(quiets - start);  // the losing captures before them
        ps.moveListEnd = quiets + n;
        ps.pickerNext = quiets;
        ps.pickerStage = StageHistory;
        break;
      }
      case StageHistory: {
        // 6. The quiet moves, best history first.
        Move m;
        if (NextInList(ps, &m)) {
          ps.currentMove = m;
          return PickQuiet;
        }
        ps.pickerStage = StageRest;
        ps.pickerNext = start;
        break;
      }
      case StageRest: {
        // 7. The losing captures, best exchange first.
        while (ps.pickerNext < start + ps.pickerCount) {
          const Move m = *ps.pickerNext;
          *ps.pickerNext++ = 0;
          if (m) {
            ps.currentMove = m;
            return PickBadCapture;
          }
        }
        return PickNone;
      }
      default:
        return PickNone;
    }
  }
}

int NextEvasion(SearchBlock& t, int ply, int side) {
  PlyState& ps = t.ply[ply];
  Move* const start = ListStart(t, ply);
  for (;;) {
    switch (ps.pickerStage) {
      case PickerStart:
        // 1. Every evasion; the hash move first when the position allows it.
        ps.moveListEnd = GenerateEvasions(t.pos, start, side, 0);
        ps.pickerStage = StageEvasionScore;
        if (ps.hashMove && !IsMoveValid(t.pos, ps.hashMove, side)) ps.hashMove = 0;
        if (ps.hashMove) {
          ps.currentMove = ps.hashMove;
          return PickHash;
        }
        break;
      case StageEvasionScore:
        // 2. Score and sort the whole list like captures.
        ps.pickerStage = StageEvasions;
        ScoreAndSort(t, start, ps.moveListEnd, ps.hashMove, side);
        ps.pickerNext = start;
        break;
      case StageEvasions: {
        // 3. Best first, losing ones last.
        Move m;
        if (NextInList(ps, &m)) {
          ps.currentMove = m;
          return PickEvasion;
        }
        return PickNone;
      }
      default:
        return PickNone;
    }
  }
}

int NextQuiescenceMove(SearchBlock& t, int ply, int alpha, int side, int qdepth) {
  PlyState& ps = t.ply[ply];
  Move* const start = ListStart(t, ply);
  if (ps.pickerStage == QuiescenceStart) {
    // 1. Captures, then promotions that capture nothing (the capturing ones are
    // in the capture list already).
    ps.pickerStage = StageQuiescence;
    Move* end = GenerateCaptures(t.pos, start, side);
    Move* promotions = end;
    Move* promotionsEnd = GeneratePromotions(t.pos, promotions, side);
    for (Move* m = promotions; m < promotionsEnd; ++m)
      if (!MoveIsCapture(*m)) *end++ = *m;
    // a-c. Screen in place: deep plies only for pawn work, futility, exchange.
    int32_t* score = t.moveScores;
    int n = 0;
    for (Move* m = start; m < end; ++m) {
      const Move mv = *m;
      if (qdepth >= 7) {
        const bool pawnCapture = (MoveCaptured(mv) & ~1) == BPawn;
        if (MoveIsCapture(mv) ? (pawnCapture && !MovePromotes(mv)) : (MovePiece(mv) & ~1) != BPawn)
          continue;
      }
      const int gain = MoveGainEstimate(t.engine->Weights(), t.pos, mv, side);
      if (alpha >= t.engine->margins.Bound(side, ps.staticEval, gain, t.pos, mv)) continue;
      const int s = StaticExchangeOfMove(t.pos, mv, side);
      if (s < 0) continue;
      start[n] = mv;
      score[n] = s + gain;
      ++n;
    }
    // Best first: exchange neighbours until a pass swaps nothing.
    for (bool swapped = n > 1; swapped;) {
      swapped = false;
      for (int i = 0; i + 1 < n; ++i)
        if (score[i] < score[i + 1]) {
          std::swap(score[i], score[i + 1]);
          std::swap(start[i], start[i + 1]);
          swapped = true;
        }
    }
    ps.moveListEnd = start + n;
    ps.pickerNext = start;
  }
  if (ps.pickerStage != StageQuiescence) return PickNone;
  // 2. Hand them out in order.
  Move m;
  if (NextInList(ps, &m)) {
    ps.currentMove = m;
    return PickQuiescence;
  }
  ps.pickerStage = StageQuiescenceDone;
  return PickNone;
}

}  // namespace kestrel
