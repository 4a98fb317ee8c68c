// Transposition table storage, probing and replacement.
#include "search/tt.h"

#include "board/large_pages.h"

#include <unistd.h>

#include <cstdlib>

#include "board/hashkeys.h"
#include "mate/mate_table.h"

namespace kestrel {

namespace {

// Entries are read and written one 64-bit word at a time without locks; a torn
// pair fails the check-word test.
inline uint64_t LoadWord(const uint64_t& w) { return __atomic_load_n(&w, __ATOMIC_RELAXED); }
inline void StoreWord(uint64_t& w, uint64_t v) { __atomic_store_n(&w, v, __ATOMIC_RELAXED); }

inline void WriteEntry(TTEntry& e, HashKey key, uint64_t data) {
  StoreWord(e.data, data);
  StoreWord(e.check, key ^ data);
}

// Packs a data word; the score is mate-adjusted by the caller, the depth kept
// within its 14 bits (negative depths count as 0).
uint64_t PackData(int score, Depth depth, Move move, int threat, int type, int age) {
  if (score < -65536) score = -65536;
  if (score > 65535) score = 65535;
  if (depth < 0) depth = 0;
  if (depth > 0x3FFF) depth = 0x3FFF;
  return (uint64_t)(uint32_t)(score + 65536) | (uint64_t)depth << 17 |
         (uint64_t)(move & 0x7FFFFFF) << 31 | (uint64_t)(threat & 1) << 58 |
         (uint64_t)(type & 3) << 59 | (uint64_t)(age & 7) << 61;
}

// Tests one entry for a cutoff. Returns a ProbeResult other than ProbeSkipNull
// (with the score in *exact on an exact hit); sets *skipNull when the entry makes
// the null move pointless.
int ProbeEntry(uint64_t data, int ply, Depth depth, int alpha, int beta, int* exact, bool* skipNull) {
  const int type = EntryType(data);
  if (EntryDepth(data) < depth) return ProbeMiss;
  const int score = ScoreFromTable(EntryScore(data), ply);
  if ((type == BoundUpper || type == BoundExact) && score < beta) *skipNull = true;
  if (type == BoundLower && score >= beta) return ProbeLowerCut;
  if (type == BoundUpper && score <= alpha) return ProbeUpperCut;
  if (type == BoundExact) {
    *exact = score;
    return ProbeExactHit;
  }
  return ProbeMiss;
}

}  // namespace

int ScoreToTable(int score, int ply) {
  if (score >= MateStoreThreshold) return score + ply - 1;
  if (score <= -MateStoreThreshold) return score - ply + 1;
  return score;
}

int ScoreFromTable(int stored, int ply) {
  if (stored >= MateStoreThreshold) return stored - ply + 1;
  if (stored <= -MateStoreThreshold) return stored + ply - 1;
  return stored;
}

int TranspositionTable::Hashfull() const {
  if (!table_ || bucketCount_ == 0) return 0;
  const uint64_t buckets = bucketCount_ < 334 ? bucketCount_ : 334;
  const int age = Age();
  int used = 0;
  for (uint64_t i = 0; i < buckets; ++i)
    for (const TTEntry& e : table_[i].entry) {
      const uint64_t d = LoadWord(e.data);
      used += d != ClearedData && EntryAge(d) == age;
    }
  return (int)(used * 1000 / (3 * buckets));
}

// The largest size worth asking the allocator for: the machine's physical memory.
static uint64_t MaxTableBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 1ull << 40;
  return (uint64_t)pages * (uint64_t)pageSize;
}

TranspositionTable::~TranspositionTable() {
  TakeBackFromMateSolver();
  std::free(table_);
}

bool TranspositionTable::Allocate(uint64_t bytes) {
  if (bytes > MaxTableBytes()) return false;
  // 1. Bucket count: the largest 2^b buckets within three quarters of the bytes.
  const uint64_t share = bytes / 4 * 3 + (bytes % 4) * 3 / 4;
  int b = 0;
  while (b < 40 && (uint64_t)sizeof(TTBucket) << (b + 1) <= share) ++b;
  const uint64_t count = 1ull << b;
  // 2. New memory first, so that a failure keeps the previous table.
  void* mem = AllocateLargeTable(count * sizeof(TTBucket));
  if (!mem) return false;
  // 3. The mate solver's table takes the remaining quarter of the same bytes.
  if (!mate_.Allocate(bytes)) {
    std::free(mem);
    return false;
  }
  InitHashKeys();
  std::free(table_);
  table_ = static_cast<TTBucket*>(mem);
  bucketCount_ = count;
  mask_ = count - 1;
  bits_ = b;
  Clear();
  return true;
}

void TranspositionTable::Clear() {
  for (uint64_t i = 0; i < bucketCount_; ++i)
    for (TTEntry& e : table_[i].entry) {
      StoreWord(e.data, ClearedData);
      StoreWord(e.check, 0);
    }
  mate_.Clear();
}

void TranspositionTable::LendToMateSolver() {
  if (table_ && !lent_) lent_ = mate_.Borrow(table_, bucketCount_ * sizeof(TTBucket));
}

void TranspositionTable::TakeBackFromMateSolver() {
  if (!lent_) return;
  lent_ = false;
  mate_.ReturnMemory();
  Clear();
}

void TranspositionTable::Prefetch(HashKey keyFull, int side) const {
  if (!table_) return;
  const char* bucket = reinterpret_cast<const char*>(&table_[TableKey(keyFull, side) & mask_]);
  __builtin_prefetch(bucket);
  __builtin_prefetch(bucket + sizeof(TTBucket) - 1);
}

ProbeOutcome TranspositionTable::Probe(HashKey key, int ply, Depth depth, int alpha, int beta) const {
  // 1. No move and no threat until a matching entry says otherwise.
  ProbeOutcome out{ProbeMiss, 0, alpha, 0};
  if (!table_) return out;
  const TTBucket& bucket = table_[key & mask_];
  bool skipNull = false;
  // 2. Entry 0 first, then the always-replace entry of this key.
  const int slots[2] = {0, PairSlot(key)};
  for (int i = 0; i < 2; ++i) {
    const TTEntry& e = bucket.entry[slots[i]];
    const uint64_t data = LoadWord(e.data);
    if ((LoadWord(e.check) ^ data) != key) continue;
    if (i == 0 || out.move == 0) out.move = EntryMove(data);
    out.mateThreat |= EntryThreat(data);
    out.result = ProbeEntry(data, ply, depth, alpha, beta, &out.score, &skipNull);
    if (out.result != ProbeMiss) return out;
  }
  out.result = skipNull ? ProbeSkipNull : ProbeMiss;
  return out;
}

void TranspositionTable::Store(HashKey key, int type, int ply, Depth depth, int score, Move move, int mateThreat) {
  if (!table_) return;
  TTBucket& bucket = table_[key & mask_];
  TTEntry& first = bucket.entry[0];
  const uint64_t oldData = LoadWord(first.data);
  const uint64_t oldKey = LoadWord(first.check) ^ oldData;
  // 1. A result without a move keeps the move stored for the same position.
  if (move == 0) {
    const TTEntry& pair = bucket.entry[PairSlot(key)];
    const uint64_t pairData = LoadWord(pair.data);
    if (oldKey == key) move = EntryMove(oldData);
    if (move == 0 && (LoadWord(pair.check) ^ pairData) == key) move = EntryMove(pairData);
  }
  // 2. The new data word.
  const int age = Age();
  const uint64_t data = PackData(ScoreToTable(score, ply), depth, move, mateThreat, type, age);
  // 3. A deeper entry of this search (or a permanent one) keeps the first slot.
  const int oldAge = EntryAge(oldData);
  if ((oldAge == 0 || oldAge == age) && EntryDepth(oldData) > depth) {
    WriteEntry(bucket.entry[PairSlot(key)], key, data);
    return;
  }
  // 4. Otherwise the old first entry moves to its own always-replace slot.
  if (oldKey != key) WriteEntry(bucket.entry[PairSlot(oldKey)], oldKey, oldData);
  WriteEntry(first, key, data);
}

void TranspositionTable::StoreMove(HashKey key, Move move) {
  if (!table_ || move == 0) return;
  const uint64_t moveBits = (uint64_t)(move & 0x7FFFFFF) << 31;
  const uint64_t moveMask = 0x7FFFFFFull << 31;
  TTBucket& bucket = table_[key & mask_];
  TTEntry& first = bucket.entry[0];
  uint64_t data = LoadWord(first.data);
  if ((LoadWord(first.check) ^ data) == key && EntryAge(data) != 0) {
    WriteEntry(first, key, (data & ~moveMask) | moveBits);
    return;
  }
  TTEntry& pair = bucket.entry[PairSlot(key)];
  data = LoadWord(pair.data);
  if ((LoadWord(pair.check) ^ data) == key) {
    WriteEntry(pair, key, (data & ~moveMask) | moveBits);
    return;
  }
  WriteEntry(pair, key, PackData(0, 0, move, 0, BoundNone, Age()));
}

}  // namespace kestrel
