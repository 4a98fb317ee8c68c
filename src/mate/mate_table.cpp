// Storage, sizing and look-up of the mate solver's table.
#include "mate/mate_table.h"

#include "board/large_pages.h"

#include <cstdlib>
#include <new>

namespace kestrel {

int mateAttacker = Black;

namespace {

MateEntry* Table = nullptr;
uint64_t TableMask = 0;

inline uint64_t IndexOf(const Position& p, int side) {
  uint32_t low = (uint32_t)p.keyFull;
  if (side == White) low = ~low;
  return low & TableMask;
}

}  // namespace

bool AllocateMateTable(uint64_t bytes) {
  const uint64_t quarter = bytes / 4;
  int m = 0;
  while (m < 40 && 24ull * (2ull << m) <= quarter) ++m;
  const uint64_t count = 1ull << m;
  MateEntry* fresh = static_cast<MateEntry*>(AllocateLargeTable(count * sizeof(MateEntry)));
  if (!fresh) return false;
  std::free(Table);
  Table = fresh;
  TableMask = count - 1;
  ClearMateTable();
  return true;
}

void ClearMateTable() {
  if (!Table) return;
  for (uint64_t i = 0; i <= TableMask; ++i) Table[i] = MateEntry{0, 0, 0, 0, 1, 1};
}

bool MateTableReady() { return Table != nullptr; }
uint64_t MateTableEntries() { return Table ? TableMask + 1 : 0; }

bool MateTableProbe(const Position& p, int side, uint32_t* phi, uint32_t* delta, uint32_t* length) {
  *phi = 1;
  *delta = 1;
  *length = MateLengthUnknown;
  if (!Table) return false;
  const MateEntry& e = Table[IndexOf(p, side)];
  const uint32_t keyLow = (uint32_t)p.keyBoard, keyHigh = (uint32_t)(p.keyBoard >> 32);
  if (e.keyLow != keyLow || e.keyHigh != keyHigh) return false;
  const uint32_t hand = p.hand[0];
  if (e.handBlack == hand) {
    *phi = e.phi;
    *delta = e.delta;
    *length = e.length;
    return true;
  }
  // The attacker to move, holding no piece beyond the stored hand: the stored disproof is
  // taken over, but only one that holds whatever the path. (White's hand grows exactly
  // where Black's shrinks.)
  const bool attackerPoorer = side == Black ? HandContains(e.handBlack, hand) : HandContains(hand, e.handBlack);
  if (side == mateAttacker && attackerPoorer && e.delta == 0 && !(e.length & MatePathTag)) {
    *phi = MateInfinity;
    *delta = 0;
    *length = e.length;
    return true;
  }
  return false;
}

void MateTableStore(const Position& p, int side, uint32_t phi, uint32_t delta, uint32_t length) {
  if (!Table) return;
  Table[IndexOf(p, side)] =
      MateEntry{(uint32_t)p.keyBoard, (uint32_t)(p.keyBoard >> 32), p.hand[0], length, phi, delta};
}

}  // namespace kestrel
