// The fixture of the search tests: board tables, the shipped piece values, a 16 MB table
// and silent searches; games set up from USI text and fixed-depth searches.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "board/material.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/parallel.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_util.h"

namespace kestrel::test {

// Positional weights with every entry drawn from -30..30 by a quick generator from `seed`
// (small enough that no sum saturates).
inline std::shared_ptr<EvalWeights> SmallRandomWeights(uint64_t seed) {
  auto weights = std::make_shared<EvalWeights>();
  EXPECT_TRUE(weights->Allocate());
  uint64_t x = seed;
  auto next = [&x] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return (int16_t)((int)(x % 61) - 30);
  };
  for (int16_t *w = weights->KppRow(0), *end = w + KppElementCount; w < end; ++w) *w = next();
  for (int16_t *w = weights->KkpRow(0, 0), *end = w + KkpElementCount; w < end; ++w) *w = next();
  return weights;
}

class SearchFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InitTables();
    SetPieceValues(ShippedPieceValues);
    ComputeSearchThresholds();
    ProcessEngine().table.Allocate(16000000);
  }
  static void TearDownTestSuite() { ProcessEngine().pool.StopHelpers(); }

  // Sets the game up from USI text into the root and the main block; returns the side.
  int SetUp(const std::string& text) {
    GameCursor game;
    std::string err;
    EXPECT_TRUE(SetPositionFromText(ProcessEngine().state.root, text, game, &err)) << text << ": " << err;
    ProcessEngine().state.sideToMove = game.side;
    ProcessEngine().state.lastMovePlayed = game.lastMove;
    SearchBlock& b = ProcessEngine().pool.MainBlock();
    std::memcpy(static_cast<void*>(&b.pos), &ProcessEngine().state.root, sizeof(Position));
    b.ply[RootPly].currentMove = 0;
    b.ply[RootPly].givesCheck = b.ply[RootPly].nullMoveMade = 0;
    // Nodes searched directly must not see the end of a search that ran before.
    ProcessEngine().state.searchStatus = 0;
    return game.side;
  }
  // Searches to a fixed depth on `threads` threads from cleared tables, under `modes`
  // otherwise; returns the root score (the move is in ProcessEngine().state.bestMove).
  int SearchTo(const std::string& text, int depth, int threads = 1) {
    const int side = SetUp(text);
    NewGameReset(ProcessEngine());
    modes.threads = threads;
    SearchFixedDepth(ProcessEngine(), side, depth, modes);
    return ProcessEngine().state.rootScore;
  }

  // Silent searches unless a test says otherwise.
  SearchModes modes = Silent();
  static SearchModes Silent() {
    SearchModes m;
    m.silent = true;
    return m;
  }
};

}  // namespace kestrel::test
