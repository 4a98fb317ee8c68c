// Incremental make and unmake. The keys are not restored on unmake: PlayMove keeps
// the two saved words, which is cheaper than XORing the terms back.
#include "board/makemove.h"

#include <cassert>

#include "board/material.h"

namespace kestrel {

namespace {

// Key change of Black's hand going from count n to count n2 of a hand kind.
inline HashKey HandKeyDelta(int kind, int n, int n2) {
  return ZobristHand[kind][n] ^ ZobristHand[kind][n2];
}

#ifndef NDEBUG
void DebugCheck(const Position& p, bool keys) {
  std::string why;
  bool ok = PositionIsConsistent(p, keys, false, &why);
  if (!ok) fprintf(stderr, "position inconsistent: %s\n", why.c_str());
  assert(ok);
}
#endif

}  // namespace

void MakeMove(Position& p, Move m) {
  const int from = MoveFrom(m), to = MoveTo(m), pc = MovePiece(m), cap = MoveCaptured(m);
  const int si = pc & 1;
  const Bitboard& toMask = SquareMask[to];
  if (from == NoSquare) {
    // Drop: hand key and hand, then the piece on its square.
    const int kind = pc >> 1;
    if (si == 0) {
      int n = HandKindCountOf(p.hand[0], kind);
      p.keyFull ^= HandKeyDelta(kind, n, n - 1);
    }
    p.hand[si] = HandWithRemoved(p.hand[si], kind);
    p.board[to] = (uint8_t)pc;
    PieceBitboard(p, pc) |= toMask;
    p.occupied[si] |= toMask;
    ToggleOccupancy(p, to);
    p.keyFull ^= ZobristPiece[pc][to];
    p.keyBoard ^= ZobristPiece[pc][to];
  } else {
    const bool promotes = MovePromotes(m);
    const int q = promotes ? (pc | 16) : pc;
    // 1. A capture: key, hand, the captured piece's bitboards and material.
    if (cap != Empty) {
      p.keyFull ^= ZobristPiece[cap][to];
      p.keyBoard ^= ZobristPiece[cap][to];
      const int kind = (cap & 0xE) >> 1;
      if (kind < HandKindCount) {  // a king is never taken in legal play; keep hands sane
        if (si == 0) {
          int n = HandKindCountOf(p.hand[0], kind);
          p.keyFull ^= HandKeyDelta(kind, n, n + 1);
        }
        p.hand[si] = HandWithAdded(p.hand[si], kind);
      }
      PieceBitboard(p, cap) ^= toMask;
      p.occupied[si ^ 1] ^= toMask;
      p.material += (cap & 1) ? CaptureGain[cap] : -CaptureGain[cap];
    } else {
      ToggleOccupancy(p, to);
    }
    // 2. Lift the piece from its square.
    p.keyFull ^= ZobristPiece[pc][from] ^ ZobristPiece[q][to];
    p.keyBoard ^= ZobristPiece[pc][from] ^ ZobristPiece[q][to];
    p.board[from] = Empty;
    PieceBitboard(p, pc) ^= SquareMask[from];
    p.occupied[si] ^= SquareMask[from] | toMask;
    ToggleOccupancy(p, from);
    // 3. Put it (promoted or not) on the destination.
    p.board[to] = (uint8_t)q;
    PieceBitboard(p, q) |= toMask;
    // 4. Promotion changes material; 5. a king move moves the king square.
    if (promotes) p.material += si ? -PromotionGain[pc] : PromotionGain[pc];
    if ((pc & ~1) == BKing) p.kingSquare[si] = (uint32_t)to;
  }
#ifndef NDEBUG
  DebugCheck(p, HashKeysReady());
#endif
}

void UnmakeMove(Position& p, Move m) {
  const int from = MoveFrom(m), to = MoveTo(m), pc = MovePiece(m), cap = MoveCaptured(m);
  const int si = pc & 1;
  const Bitboard& toMask = SquareMask[to];
  if (from == NoSquare) {
    p.hand[si] = HandWithAdded(p.hand[si], pc >> 1);
    p.board[to] = Empty;
    PieceBitboard(p, pc) ^= toMask;
    p.occupied[si] ^= toMask;
    ToggleOccupancy(p, to);
  } else {
    const bool promotes = MovePromotes(m);
    const int q = promotes ? (pc | 16) : pc;
    PieceBitboard(p, q) ^= toMask;
    p.occupied[si] ^= toMask | SquareMask[from];
    if (cap != Empty) {
      if (((cap & 0xE) >> 1) < HandKindCount) p.hand[si] = HandWithRemoved(p.hand[si], (cap & 0xE) >> 1);
      p.board[to] = (uint8_t)cap;
      PieceBitboard(p, cap) |= toMask;
      p.occupied[si ^ 1] |= toMask;
      p.material -= (cap & 1) ? CaptureGain[cap] : -CaptureGain[cap];
    } else {
      p.board[to] = Empty;
      ToggleOccupancy(p, to);
    }
    p.board[from] = (uint8_t)pc;
    PieceBitboard(p, pc) |= SquareMask[from];
    ToggleOccupancy(p, from);
    if (promotes) p.material -= si ? -PromotionGain[pc] : PromotionGain[pc];
    if ((pc & ~1) == BKing) p.kingSquare[si] = (uint32_t)from;
  }
#ifndef NDEBUG
  DebugCheck(p, false);
#endif
}

void AdvanceKeys(Position& p, Move m) {
  const int from = MoveFrom(m), to = MoveTo(m), pc = MovePiece(m), cap = MoveCaptured(m);
  const int si = pc & 1;
  if (from == NoSquare) {
    const int kind = pc >> 1;
    if (si == 0) {
      int n = HandKindCountOf(p.hand[0], kind);
      p.keyFull ^= HandKeyDelta(kind, n, n - 1);
    }
    p.hand[si] = HandWithRemoved(p.hand[si], kind);
    p.keyFull ^= ZobristPiece[pc][to];
    p.keyBoard ^= ZobristPiece[pc][to];
    return;
  }
  const int q = MovePromotes(m) ? (pc | 16) : pc;
  if (cap != Empty) {
    p.keyFull ^= ZobristPiece[cap][to];
    p.keyBoard ^= ZobristPiece[cap][to];
    const int kind = (cap & 0xE) >> 1;
    if (kind < HandKindCount) {
      if (si == 0) {
        int n = HandKindCountOf(p.hand[0], kind);
        p.keyFull ^= HandKeyDelta(kind, n, n + 1);
      }
      p.hand[si] = HandWithAdded(p.hand[si], kind);
    }
  }
  p.keyFull ^= ZobristPiece[pc][from] ^ ZobristPiece[q][to];
  p.keyBoard ^= ZobristPiece[pc][from] ^ ZobristPiece[q][to];
}

}  // namespace kestrel
