// Storage, sizing and look-up of the mate solver's table.
#include "mate/mate_table.h"

#include "board/large_pages.h"

#include <cstdlib>
#include <new>

namespace kestrel {

namespace {

constexpr MateEntry EmptyEntry{0, 0, 0, 1, 1, 0};
constexpr uint32_t WorkMask = 0xFFFFFF;

// Entry count exponent: the largest m with 24 * 2^m <= bytes (0 for tiny sizes).
int EntryBits(uint64_t bytes) {
  int m = 0;
  while (m < 40 && 24ull * (2ull << m) <= bytes) ++m;
  return m;
}

// True for a result that holds for the position whatever the path: a proof or a
// disproof without a path tag.
inline bool Settled(const MateEntry& e) { return (e.phi == 0 || e.delta == 0) && !(e.length & MatePathTag); }

}  // namespace

MateTable::~MateTable() {
  ReturnMemory();
  std::free(table_);
}

// The first entry of the position's bucket: placed by the board key alone, inverted
// when White is to move so that the two sides to move keep apart.
inline MateEntry* MateTable::BucketOf(HashKey keyBoard, int side) const {
  uint32_t low = (uint32_t)keyBoard;
  if (side == White) low = ~low;
  return table_ + (low & bucketMask_);
}

inline bool MateTable::Live(const MateEntry& e) const { return e.work >> 24 == generation_; }
inline uint32_t MateTable::WorkOf(const MateEntry& e) const { return Live(e) ? e.work & WorkMask : 0; }

// Rewrites every entry as empty.
void MateTable::Wipe() {
  if (!table_) return;
  for (uint64_t i = 0; i <= tableMask_; ++i) table_[i] = EmptyEntry;
}

// Points the table at `count` entries of memory.
void MateTable::UseMemory(MateEntry* mem, uint64_t count) {
  table_ = mem;
  tableMask_ = count - 1;
  bucketWays_ = count < MateBucketSize ? count : MateBucketSize;
  bucketMask_ = tableMask_ & ~(bucketWays_ - 1);
}

bool MateTable::Allocate(uint64_t bytes) {
  ReturnMemory();
  const uint64_t count = 1ull << EntryBits(bytes / 4);
  MateEntry* fresh = static_cast<MateEntry*>(AllocateLargeTable(count * sizeof(MateEntry)));
  if (!fresh) return false;
  std::free(table_);
  UseMemory(fresh, count);
  Wipe();
  return true;
}

bool MateTable::Borrow(void* mem, uint64_t bytes) {
  if (!table_ || own_.table || !mem) return false;
  const uint64_t count = 1ull << EntryBits(bytes);
  if (count <= tableMask_ + 1) return false;
  own_ = OwnTable{table_, tableMask_, bucketMask_, bucketWays_};
  UseMemory(static_cast<MateEntry*>(mem), count);
  Wipe();
  return true;
}

void MateTable::ReturnMemory() {
  if (!own_.table) return;
  table_ = own_.table;
  tableMask_ = own_.tableMask;
  bucketMask_ = own_.bucketMask;
  bucketWays_ = own_.bucketWays;
  own_ = OwnTable{};
  Wipe();
}

void MateTable::Clear() {
  if (++generation_ < 256) return;
  generation_ = 1;
  Wipe();
}

// True when the entry, stored for the same board with another Black hand `e.handBlack`,
// decides the position with Black hand `hand` too: a mate found with the attacker
// holding no more of any kind than now, or a refutation (one that holds on any path)
// found with the attacker holding at least as much of every kind. The same moves mate,
// or the same defence refutes, with the extra pieces: a piece more in the attacker's
// hand only adds checks and takes drops from the defender, and a pawn drop that mates
// does so whatever the defender holds. With the board equal, White's hand grows
// exactly where Black's shrinks.
inline bool MateTable::Carries(const MateEntry& e, uint32_t hand, bool attackerToMove) const {
  if (!Settled(e)) return false;
  const bool mate = attackerToMove ? e.phi == 0 : e.delta == 0;
  // A mate carries to a richer attacker, a refutation to a poorer one.
  const bool blackRicherNeeded = mate == (attacker == Black);
  return blackRicherNeeded ? HandContains(hand, e.handBlack) : HandContains(e.handBlack, hand);
}

bool MateTable::Probe(const Position& p, int side, uint32_t* phi, uint32_t* delta, uint32_t* length,
                      uint32_t* work) const {
  return Probe(p.keyBoard, p.hand[0], side, phi, delta, length, work);
}

void MateTable::Prefetch(HashKey keyBoard, int side) const {
  if (!table_) return;
  const char* bucket = reinterpret_cast<const char*>(BucketOf(keyBoard, side));
  __builtin_prefetch(bucket);
  __builtin_prefetch(bucket + sizeof(MateEntry) * bucketWays_ - 1);
}

bool MateTable::Probe(HashKey key, uint32_t hand, int side, uint32_t* phi, uint32_t* delta, uint32_t* length,
                      uint32_t* work) const {
  *phi = 1;
  *delta = 1;
  *length = MateLengthUnknown;
  if (work) *work = 0;
  if (!table_) return false;
  const MateEntry* exact = nullptr;
  const MateEntry* carried = nullptr;
  const MateEntry* e = BucketOf(key, side);
  for (const MateEntry* const end = e + bucketWays_; e != end; ++e) {
    if (e->keyBoard != key || !Live(*e)) continue;
    if (e->handBlack == hand) {
      exact = e;
      if (Settled(*e)) break;
    } else if (!carried && Carries(*e, hand, side == attacker)) {
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

void MateTable::Store(const Position& p, int side, uint32_t phi, uint32_t delta, uint32_t length, uint32_t work) {
  if (!table_) return;
  const HashKey key = p.keyBoard;
  const uint32_t hand = p.hand[0];
  MateEntry* const bucket = BucketOf(key, side);
  MateEntry* victim = bucket;
  for (MateEntry* e = bucket; e != bucket + bucketWays_; ++e) {
    if (e->keyBoard == key && e->handBlack == hand && Live(*e)) {
      victim = e;
      break;
    }
    if (WorkOf(*e) < WorkOf(*victim)) victim = e;
  }
  *victim = MateEntry{key, hand, length, (uint16_t)phi, (uint16_t)delta,
                      generation_ << 24 | (work < WorkMask ? work : WorkMask)};
}

}  // namespace kestrel
