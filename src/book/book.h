// The opening book: a fixed table of 2^20 position records read from the text
// file "Book/book.db" below the start-up directory, and the probe that finds a
// position's record by walking the chain from its home slot.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"

namespace kestrel {

// One book position. The file names every record's slot and the slot of the next
// record of its chain; `percent` is derived from games and wins at load time.
struct BookRecord {
  uint64_t key;        // keyBoard of the position
  uint32_t handBlack;  // hand[Black] word of the position
  uint32_t games;
  uint32_t wins;       // wins counted from the file's point of view
  uint32_t percent;
  uint32_t rating;
  uint32_t next;       // slot of the next record of the chain; 0 ends it
  uint8_t sideFlag;    // 1 when the file's side field was 1
};
static_assert(sizeof(BookRecord) == 40, "book record layout");

constexpr uint32_t BookSlotCount = 1u << 20;
constexpr uint32_t BookSlotMask = BookSlotCount - 1;
// A chain longer than this is taken to loop: the walk gives up and finds nothing.
constexpr int MaxBookChainSteps = 4096;

// The table of BookSlotCount records; null until AllocateBook succeeds.
extern BookRecord* BookTable;

// Allocates the table once and clears it; false when memory is refused (the book
// then stays empty and is neither loaded nor probed).
bool AllocateBook();
// Clears every record: all zero except sideFlag 1.
void ClearBook();

// What one load did, for callers that want to know (the engine prints nothing).
struct BookLoadStats {
  bool opened = false;
  uint32_t stored = 0;     // records written into the table
  uint32_t skipped = 0;    // complete records with a slot outside the table
  bool truncated = false;  // the file ended inside a record, which was dropped
};

// Reads a book file over the table (nothing is cleared first; a later record for
// a slot replaces an earlier one). A file that cannot be opened changes nothing.
BookLoadStats LoadBookFile(const std::string& path);
// Loads "Book/book.db" below the start-up directory; called for every "usi".
BookLoadStats LoadBook();

// Home slot of a position with `side` to move: the low word of keyFull, inverted
// for White, masked to the table.
uint32_t BookHomeSlot(const Position& pos, int side);

// Looks the position (with `side` to move) up; on a hit copies the record to *out.
bool BookProbe(const Position& pos, int side, BookRecord* out);

}  // namespace kestrel
