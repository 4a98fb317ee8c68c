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
uint64_t BucketMask = 0;  // TableMask without the bits that pick an entry in a bucket
uint64_t BucketWays = 1;  // entries per bucket: MateBucketSize, fewer in a tiny table

// The first entry of the position's bucket: placed by the board key alone, inverted
// when White is to move so that the two sides to move keep apart.
inline MateEntry* BucketOf(HashKey keyBoard, int side) {
  uint32_t low = (uint32_t)keyBoard;
  if (side == White) low = ~low;
  return Table + (low & BucketMask);
}

constexpr MateEntry EmptyEntry{0, 0, 0, 1, 1, 0};

// Entries live only in the generation they were stored in; generation 0 is never live,
// so the empty entry is absent in every generation.
uint32_t generation = 1;
constexpr uint32_t WorkMask = 0xFFFFFF;
inline bool Live(const MateEntry& e) { return e.work >> 24 == generation; }
inline uint32_t WorkOf(const MateEntry& e) { return Live(e) ? e.work & WorkMask : 0; }

// Rewrites every entry as empty.
void WipeTable() {
  if (!Table) return;
  for (uint64_t i = 0; i <= TableMask; ++i) Table[i] = EmptyEntry;
}

// The table's own memory and sizes while it lives in borrowed memory (Table is null
// otherwise).
struct OwnTable {
  MateEntry* table = nullptr;
  uint64_t tableMask = 0, bucketMask = 0, bucketWays = 1;
} own;

// Entry count exponent: the largest m with 24 * 2^m <= bytes (0 for tiny sizes).
int EntryBits(uint64_t bytes) {
  int m = 0;
  while (m < 40 && 24ull * (2ull << m) <= bytes) ++m;
  return m;
}

// Points the table at `count` entries of memory.
void UseMemory(MateEntry* mem, uint64_t count) {
  Table = mem;
  TableMask = count - 1;
  BucketWays = count < MateBucketSize ? count : MateBucketSize;
  BucketMask = TableMask & ~(BucketWays - 1);
}

}  // namespace

bool AllocateMateTable(uint64_t bytes) {
  ReturnMateTableMemory();
  const uint64_t count = 1ull << EntryBits(bytes / 4);
  MateEntry* fresh = static_cast<MateEntry*>(AllocateLargeTable(count * sizeof(MateEntry)));
  if (!fresh) return false;
  std::free(Table);
  UseMemory(fresh, count);
  WipeTable();
  return true;
}

bool BorrowMateTableMemory(void* mem, uint64_t bytes) {
  if (!Table || own.table || !mem) return false;
  const uint64_t count = 1ull << EntryBits(bytes);
  if (count <= TableMask + 1) return false;
  own = OwnTable{Table, TableMask, BucketMask, BucketWays};
  UseMemory(static_cast<MateEntry*>(mem), count);
  WipeTable();
  return true;
}

void ReturnMateTableMemory() {
  if (!own.table) return;
  Table = own.table;
  TableMask = own.tableMask;
  BucketMask = own.bucketMask;
  BucketWays = own.bucketWays;
  own = OwnTable{};
  WipeTable();
}

void ClearMateTable() {
  if (++generation < 256) return;
  generation = 1;
  WipeTable();
}

bool MateTableReady() { return Table != nullptr; }
uint64_t MateTableEntries() { return Table ? TableMask + 1 : 0; }

namespace {

// True for a result that holds for the position whatever the path: a proof or a
// disproof without a path tag.
inline bool Settled(const MateEntry& e) { return (e.phi == 0 || e.delta == 0) && !(e.length & MatePathTag); }

// True when the entry, stored for the same board with another Black hand `e.handBlack`,
// decides the position with Black hand `hand` too: a mate found with the attacker
// holding no more of any kind than now, or a refutation (one that holds on any path)
// found with the attacker holding at least as much of every kind. The same moves mate,
// or the same defence refutes, with the extra pieces: a piece more in the attacker's
// hand only adds checks and takes drops from the defender, and a pawn drop that mates
// does so whatever the defender holds. With the board equal, White's hand grows
// exactly where Black's shrinks.
inline bool Carries(const MateEntry& e, uint32_t hand, bool attackerToMove) {
  if (!Settled(e)) return false;
  const bool mate = attackerToMove ? e.phi == 0 : e.delta == 0;
  // A mate carries to a richer attacker, a refutation to a poorer one.
  const bool blackRicherNeeded = mate == (mateAttacker == Black);
  return blackRicherNeeded ? HandContains(hand, e.handBlack) : HandContains(e.handBlack, hand);
}

}  // namespace

bool MateTableProbe(const Position& p, int side, uint32_t* phi, uint32_t* delta, uint32_t* length,
                    uint32_t* work) {
  return MateTableProbe(p.keyBoard, p.hand[0], side, phi, delta, length, work);
}

void MateTablePrefetch(HashKey keyBoard, int side) {
  if (!Table) return;
  const char* bucket = reinterpret_cast<const char*>(BucketOf(keyBoard, side));
  __builtin_prefetch(bucket);
  __builtin_prefetch(bucket + sizeof(MateEntry) * BucketWays - 1);
}

bool MateTableProbe(HashKey key, uint32_t hand, int side, uint32_t* phi, uint32_t* delta, uint32_t* length,
                    uint32_t* work) {
  *phi = 1;
  *delta = 1;
  *length = MateLengthUnknown;
  if (work) *work = 0;
  if (!Table) return false;
  const MateEntry* exact = nullptr;
  const MateEntry* carried = nullptr;
  const MateEntry* e = BucketOf(key, side);
  for (const MateEntry* const end = e + BucketWays; e != end; ++e) {
    if (e->keyBoard != key || !Live(*e)) continue;
    if (e->handBlack == hand) {
      exact = e;
      if (Settled(*e)) break;
    } else if (!carried && Carries(*e, hand, side == mateAttacker)) {
      carried = e;
    }
  }
  // The position's own entry, unless it is still open and another hand decides it.
  if (exact && (Settled(*exact) || !carried)) {
    *phi = exact->phi;
    *delta = exact->delta;
    *length = exact->length;
    if (work) *work = exact->work & WorkMask;
    return true;
  }
  if (!carried) return false;
  *phi = carried->phi;
  *delta = carried->delta;
  *length = carried->length;
  return true;
}

void MateTableStore(const Position& p, int side, uint32_t phi, uint32_t delta, uint32_t length, uint32_t work) {
  if (!Table) return;
  const HashKey key = p.keyBoard;
  const uint32_t hand = p.hand[0];
  MateEntry* const bucket = BucketOf(key, side);
  MateEntry* victim = bucket;
  for (MateEntry* e = bucket; e != bucket + BucketWays; ++e) {
    if (e->keyBoard == key && e->handBlack == hand && Live(*e)) {
      victim = e;
      break;
    }
    if (WorkOf(*e) < WorkOf(*victim)) victim = e;
  }
  *victim = MateEntry{key, hand, length, (uint16_t)phi, (uint16_t)delta,
                      generation << 24 | (work < WorkMask ? work : WorkMask)};
}

}  // namespace kestrel
