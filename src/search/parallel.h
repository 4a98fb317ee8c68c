// Parallel search: per-thread search blocks, split points in the young-brothers-wait
// manner at inner nodes and at the root, helper threads that wait between searches.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "search/search_block.h"

namespace kestrel {

// Blocks of the main thread and of each helper are preallocated: 64 per thread.
constexpr int BlocksPerThread = 64;

// One engine's search threads: the main thread's blocks and those of the helper
// threads, the split points' bookkeeping and the helpers' sleep between searches.
// Lock order: smpLock before a block's lock, a block's lock before its children's.
class ThreadPool {
 public:
  explicit ThreadPool(Engine& engine) : engine_(engine) {}
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;
  // Ends the helpers and frees the blocks.
  ~ThreadPool();

  // The main thread's root block (allocated with the main thread's blocks on first use).
  SearchBlock& MainBlock();
  // Creates the helper threads the search's modes ask for and waits until every one is
  // ready; the main thread itself is thread 0.
  void StartHelpers();
  // Clears the split statistics of a new search.
  void ResetSplitStatistics() {
    splitCount = 0;
    abortCount = 0;
  }
  // True when a helper waits for work (never with one thread).
  bool IdleHelpersAvailable() const;
  // Whether the remaining root moves are worth sharing (next unsearched entry index).
  bool RootSplitUseful(int nextIndex) const;
  // Marks the span of a search: idle helpers spin during it and sleep outside it.
  void SetSearchRunning(bool running);
  // Number of split points and of cut-offs inside them in this search.
  int SplitCount() const { return splitCount.load(); }
  int SplitAbortCount() const { return abortCount.load(); }
  // Ends the helper threads (tests, and before the pool goes).
  void StopHelpers();

  // Threads of the search under way, main thread included: the modes' count held to
  // 1..MaxThreads.
  int ThreadsOfThisSearch() const;
  SearchBlock* NewBlock();
  void AllocateThreadBlocks(int t);
  void WakeHelpers();
  SearchBlock* FreeBlockFor(int t);
  void WaitForWork(int id, SearchBlock* waiting);
  bool CanLendTo(int t, const SearchBlock& b) const;
  int Split(SearchBlock& b);

  // The state the split points share, under smpLock.
  SearchBlock* blocks[1 + MaxThreads * BlocksPerThread] = {};
  SpinLock smpLock;
  std::atomic<SearchBlock*> threadWork[MaxThreads] = {};
  std::atomic<SearchBlock*> waitingFor[MaxThreads] = {};
  std::atomic<int> idleCount{0};
  std::atomic<int> readyThreads{1};
  int startedThreads = 0;
  std::atomic<int> splitCount{0};
  std::atomic<int> abortCount{0};
  std::atomic<bool> quitThreads{false};
  // Set while a search runs: waiting helpers keep spinning then, and sleep otherwise.
  std::atomic<bool> searchRunning{false};
  std::vector<std::thread> helpers;
  std::mutex sleepMutex;
  std::condition_variable sleepCv;

 private:
  Engine& engine_;
  std::mutex memoryLock_;
  std::vector<void*> memory_;  // the allocations the blocks live in, under memoryLock_
};

// Shares the remaining moves of the node at `ply` of block b with idle helpers of its
// engine; returns 1 when they were searched, with the best score and move found.
int SplitNode(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, int mateThreat,
              bool inCheck, int* best, Move* bestMove);
// Shares the remaining root moves.
int SplitRoot(SearchBlock& b, int alpha, int beta, Depth depth, int side, int* best, Move* bestMove);
// Sets a block's stop flag and those of all blocks lent from it, recursively.
void StopBlock(SearchBlock& b);
// A beta cut-off in child `keep`: stops every other child of the split node and,
// through them, their own helpers; nothing when `keep` was stopped first by a sibling's
// cut-off.
void StopSiblings(SearchBlock& parent, SearchBlock& keep);

}  // namespace kestrel
