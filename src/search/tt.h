// The transposition table: one process-wide array of 48-byte buckets shared by
// all search threads without locks. Each bucket holds a depth-preferred entry
// and an always-replace pair; every entry is a data word plus a check word
// (key XOR data), so a torn or foreign entry never matches.
#pragma once

#include <cstdint>

#include "board/hashkeys.h"
#include "search/search_block.h"

namespace kestrel {

struct TTEntry {
  uint64_t data;   // score+65536 | depth<<17 | move<<31 | threat<<58 | type<<59 | age<<61
  uint64_t check;  // key ^ data
};
static_assert(sizeof(TTEntry) == 16, "a table entry is two 64-bit words");

struct TTBucket {
  TTEntry entry[3];  // 0: depth-preferred; 1 and 2: always-replace
};
static_assert(sizeof(TTBucket) == 48, "a bucket is three entries");

// Bound types stored in an entry.
enum BoundType : int { BoundNone = 0, BoundLower = 1, BoundUpper = 2, BoundExact = 3 };

// Probe results.
enum ProbeResult : int {
  ProbeMiss = 0, ProbeLowerCut = 1, ProbeUpperCut = 2, ProbeExactHit = 3, ProbeSkipNull = 4
};

// Data word of a cleared entry (age 7, nothing else); its check word is 0.
constexpr uint64_t ClearedData = 0xE000000000000000ull;
// Scores at or beyond this magnitude are mate scores kept relative to the node.
constexpr int MateStoreThreshold = 29700;

// Replaces the table with one of the largest power-of-two bucket count that fits
// in 3/4 of `bytes`, and sizes the mate solver's table with the rest; draws the
// hash keys on the first call. Returns false, keeping the previous tables, when
// the memory cannot be had.
bool AllocateTable(uint64_t bytes);
// Writes the cleared pattern into every entry (and clears the mate table).
void ClearTable();

// Looks up the position of `thread` for `side` to move; always sets the
// thread's hash move for `ply` (0 when none). Returns a ProbeResult; on an exact
// hit the score is written to *alpha. *mateThreat becomes 1 when a matching
// entry carries the mate-threat flag, else 0.
int Probe(SearchBlock& thread, int ply, int depth, int side, int* alpha, int beta, int* mateThreat);
// Stores a result for the position of `thread`; the move is the thread's current
// move at `ply` for a lower bound, its principal-variation move at `ply` for an
// exact score, none otherwise.
void Store(SearchBlock& thread, int type, int ply, int depth, int side, int score, int mateThreat);
// Puts the main line's move at `ply` (row RootPly of the thread's variation) into
// the entry of the thread's current position; nothing when the line is shorter.
void StorePvMove(SearchBlock& thread, int ply, int side);

// The table key of a position: keyFull, complemented when White is to move.
inline HashKey TableKey(HashKey keyFull, int side) { return side == Black ? keyFull : ~keyFull; }
// Mate scores are kept relative to the node: converts a score for storing at ply.
int ScoreToTable(int score, int ply);
// Converts a stored score back for reading at ply.
int ScoreFromTable(int stored, int ply);

// Inspection helpers (for tests and statistics).
// Starts fetching the bucket of a position into the cache: a hint given when a move is
// made, so that the child's probe finds it there.
void PrefetchBucket(HashKey keyFull, int side);
uint64_t TableBucketCount();
int TableBits();
const TTBucket* TableBuckets();

// Field access of a data word.
inline int EntryScore(uint64_t d) { return (int)(d & 0x1FFFF) - 65536; }
inline int EntryDepth(uint64_t d) { return (int)((d >> 17) & 0x3FFF); }
inline Move EntryMove(uint64_t d) { return (Move)((d >> 31) & 0x7FFFFFF); }
inline int EntryThreat(uint64_t d) { return (int)((d >> 58) & 1); }
inline int EntryType(uint64_t d) { return (int)((d >> 59) & 3); }
inline int EntryAge(uint64_t d) { return (int)((d >> 61) & 7); }

}  // namespace kestrel
