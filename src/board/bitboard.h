// Bitboards: three 32-bit words of 27 squares each, plus the board geometry tables
// (rotated layouts, line read-out tables, per-square tables).
#pragma once

#include <cstdint>

#include "board/types.h"

namespace kestrel {

struct Bitboard {
  uint32_t w[3];
};
static_assert(sizeof(Bitboard) == 12, "a bitboard is three 32-bit words");

constexpr uint32_t WordMask = 0x7FFFFFF;

// Rotated layouts and line read-out tables (indexed by a layout index).
extern int Rot90Index[SquareCount];
extern int DiagIndexA[SquareCount];
extern int DiagIndexB[SquareCount];
extern int WordOf[SquareCount];
extern int LineShift[SquareCount];         // for ranks and files
extern int DiagLineShift[SquareCount];     // for the packed diagonal layouts
extern uint32_t LineLengthMask[SquareCount];  // diagonal layouts: 2^len - 1

// Per-square tables.
extern Bitboard SquareMask[SquareCount];
extern Bitboard SquareClearMask[SquareCount];
extern int ColumnOf[SquareCount];        // col + 1
extern int RowOf[SquareCount];           // row + 1
extern int DiagonalOf[SquareCount];      // 8 + row - col
extern int AntiDiagonalOf[SquareCount];  // row + col
extern uint8_t HighBitFromTop16[65536];

// Fills every table above; the first table set-up at start-up.
void InitBitboardTables();

constexpr Bitboard EmptyBB = {{0, 0, 0}};
constexpr Bitboard FullBB = {{WordMask, WordMask, WordMask}};

inline Bitboard operator&(const Bitboard& a, const Bitboard& b) {
  return {{a.w[0] & b.w[0], a.w[1] & b.w[1], a.w[2] & b.w[2]}};
}
inline Bitboard operator|(const Bitboard& a, const Bitboard& b) {
  return {{a.w[0] | b.w[0], a.w[1] | b.w[1], a.w[2] | b.w[2]}};
}
inline Bitboard operator^(const Bitboard& a, const Bitboard& b) {
  return {{a.w[0] ^ b.w[0], a.w[1] ^ b.w[1], a.w[2] ^ b.w[2]}};
}
inline Bitboard& operator&=(Bitboard& a, const Bitboard& b) {
  a.w[0] &= b.w[0]; a.w[1] &= b.w[1]; a.w[2] &= b.w[2];
  return a;
}
inline Bitboard& operator|=(Bitboard& a, const Bitboard& b) {
  a.w[0] |= b.w[0]; a.w[1] |= b.w[1]; a.w[2] |= b.w[2];
  return a;
}
inline Bitboard& operator^=(Bitboard& a, const Bitboard& b) {
  a.w[0] ^= b.w[0]; a.w[1] ^= b.w[1]; a.w[2] ^= b.w[2];
  return a;
}
inline bool operator==(const Bitboard& a, const Bitboard& b) {
  return a.w[0] == b.w[0] && a.w[1] == b.w[1] && a.w[2] == b.w[2];
}
inline bool operator!=(const Bitboard& a, const Bitboard& b) { return !(a == b); }

// Each word complemented within its 27 used bits.
inline Bitboard Complement(const Bitboard& a) {
  return {{~a.w[0] & WordMask, ~a.w[1] & WordMask, ~a.w[2] & WordMask}};
}
inline bool IsEmpty(const Bitboard& a) {
  return ((a.w[0] | a.w[1] | a.w[2]) & WordMask) == 0;
}
inline bool IsNonEmpty(const Bitboard& a) { return !IsEmpty(a); }
inline void ClearSquare(Bitboard& a, Square s) { a &= SquareClearMask[s]; }
inline void SetSquare(Bitboard& a, Square s) { a |= SquareMask[s]; }
inline bool TestSquare(const Bitboard& a, Square s) {
  return (a.w[s / 27] & (0x4000000u >> (s % 27))) != 0;
}

// Lowest-numbered square of a non-empty word k: from the word's highest set bit.
inline Square FirstSquareOfWord(uint32_t word, int k) {
  return 27 * k + __builtin_clz(word) - 5;
}
// Lowest-numbered square of a non-empty set: word 0 first, then 1 and 2.
inline Square FirstSquare(const Bitboard& a) {
  if (a.w[0]) return FirstSquareOfWord(a.w[0], 0);
  if (a.w[1]) return FirstSquareOfWord(a.w[1], 1);
  return FirstSquareOfWord(a.w[2], 2);
}
// Highest-numbered square of a non-empty set: word 2 first, lowest set bit.
inline Square LastSquare(const Bitboard& a) {
  if (a.w[2]) return 54 + 26 - __builtin_ctz(a.w[2]);
  if (a.w[1]) return 27 + 26 - __builtin_ctz(a.w[1]);
  return 26 - __builtin_ctz(a.w[0]);
}
// Removes and returns the lowest-numbered square of a non-empty set.
inline Square PopFirst(Bitboard& a) {
  const int k = a.w[0] ? 0 : a.w[1] ? 1 : 2;
  const int b = 31 - __builtin_clz(a.w[k]);
  a.w[k] ^= 1u << b;
  return 27 * k + 26 - b;
}
inline int PopCount(const Bitboard& a) {
  return __builtin_popcount(a.w[0]) + __builtin_popcount(a.w[1]) + __builtin_popcount(a.w[2]);
}

// Iterates the squares of a set in ascending order: for (Square s : Squares(bb)).
struct SquareIter {
  Bitboard b;
  Square cur;
  bool operator!=(const SquareIter&) const { return cur != NoSquare; }
  void operator++() { cur = IsEmpty(b) ? NoSquare : PopFirst(b); }
  Square operator*() const { return cur; }
};
struct Squares {
  Bitboard b;
  explicit Squares(const Bitboard& bb) : b(bb) {}
  SquareIter begin() const {
    SquareIter it{b, NoSquare};
    ++it;
    return it;
  }
  SquareIter end() const { return SquareIter{EmptyBB, NoSquare}; }
};

constexpr int RowOfSquare(Square s) { return s / 9; }
constexpr int ColOfSquare(Square s) { return s % 9; }
constexpr Square MakeSquare(int row, int col) { return 9 * row + col; }

}  // namespace kestrel
