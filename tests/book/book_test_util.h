// Helpers for the book tests: a scratch directory, book records as file text and
// a fixture that starts every test from an empty, allocated book.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "board/state.h"
#include "book/book.h"
#include "test_util.h"

namespace kestrel::booktest {

// One record in the file's text form, ending in a line feed.
inline std::string Rec(uint64_t slot, uint64_t key, uint32_t hand, uint32_t games, uint32_t wins,
                       uint32_t side, uint32_t rating, uint64_t next) {
  return std::to_string(slot) + "$" + std::to_string(key) + "$" + std::to_string(hand) + "$" +
         std::to_string(games) + "$" + std::to_string(wins) + "$" + std::to_string(side) + "$" +
         std::to_string(rating) + "$" + std::to_string(next) + "$\n";
}

// The record of a position (side to move `side`) stored at its home slot.
inline std::string RecFor(const Position& p, int side, uint32_t games, uint32_t wins,
                          uint32_t sideFlag, uint32_t rating, uint32_t next = 0) {
  return Rec(BookHomeSlot(p, side), p.keyBoard, p.hand[SideIndex(Black)], games, wins, sideFlag,
             rating, next);
}

class BookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::InitTables();
    AllocateEngineState();
    ASSERT_TRUE(AllocateBook());
    dir_ = std::filesystem::temp_directory_path() /
           ("kestrel-book-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Writes text to a file in the scratch directory and returns its path.
  std::string WriteFile(const std::string& name, const std::string& text) {
    std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path.string();
  }

  BookLoadStats Load(const std::string& text) { return LoadBookFile(WriteFile("book.db", text)); }

  std::filesystem::path dir_;
};

}  // namespace kestrel::booktest
