// The mate solver's table: one process-wide direct-mapped array of proof and
// disproof numbers, always overwritten on store. It survives from the end of one
// solve to the start of the next so that a proved mate can be played out later.
#pragma once

#include <cstdint>

#include "board/position.h"

namespace kestrel {

constexpr uint32_t MateInfinity = 65535;
// Length read for a position the table does not hold.
constexpr uint32_t MateLengthUnknown = ScoreNone;

struct MateEntry {
  uint32_t keyLow, keyHigh;  // keyBoard of the position
  uint32_t handBlack;        // Black's hand word
  uint32_t length;           // plies to mate when proven, else 65535
  uint32_t phi, delta;       // for the side to move at the entry's position
};
static_assert(sizeof(MateEntry) == 24, "a mate table entry is six 32-bit words");

// The length word of a disproof that holds only on part of the solver's search: the
// path bit, the depth bit when a ply or move-stack limit went into it, the single bit
// when it rests on one path node alone, and the serial of the deepest path node that
// must still be on the path for the result to be trusted.
constexpr uint32_t MatePathTag = 0x80000000u;
constexpr uint32_t MateDepthTag = 0x40000000u;
constexpr uint32_t MateSingleTag = 0x20000000u;
constexpr uint32_t MateSerialMask = 0x1FFFFFFFu;

// Replaces the table with 2^m entries, m the largest with 24 * 2^m <= bytes / 4
// (m = 0 for tiny sizes), and clears it. Returns false, keeping the previous table,
// when the memory cannot be had.
bool AllocateMateTable(uint64_t bytes);
// Writes the cleared entry (keys 0, hand 0, length 0, phi 1, delta 1) everywhere.
void ClearMateTable();
// True once a table exists; its entry count.
bool MateTableReady();
uint64_t MateTableEntries();

// Looks up the position with `side` to move. Found on an exact match of board key and
// Black's hand; at an attacker node of the current solve, a disproof stored for the same
// board with an attacker's hand that held at least as much of every kind also counts
// (fewer pieces in hand never make a mate possible), unless that disproof holds only on
// part of the search. A miss reads as phi 1, delta 1, length 31111.
bool MateTableProbe(const Position& p, int side, uint32_t* phi, uint32_t* delta, uint32_t* length);
// Writes all six words of the position's entry.
void MateTableStore(const Position& p, int side, uint32_t phi, uint32_t delta, uint32_t length);

// True when hand word `big` holds at least as many pieces of every kind as `small`.
inline bool HandContains(uint32_t big, uint32_t small) {
  return big >= small && (small & 0xFFFFF & ~big) == 0;
}

// The attacker of the current (or last) solve, consulted by the probe's hand rule.
extern int mateAttacker;

}  // namespace kestrel
