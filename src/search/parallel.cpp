// Split points, helper threads and the blocks they search.
//
// Lock order: smpLock before a block's lock, a block's lock before its children's.
// Helpers wait between searches by spinning briefly and then sleeping on a
// condition variable, so an idle engine uses no processor time.
#include "search/parallel.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "board/makemove.h"
#include "movegen/attacks.h"
#include "search/driver.h"
#include "search/engine.h"
#include "search/picker.h"
#include "search/search.h"

namespace kestrel {

namespace {

// Spins of a waiting helper before it goes to sleep.
constexpr int SpinsBeforeSleep = 20000;

// The main thread's "busy" marker in threadWork (it is never idle while searching).
SearchBlock* const BusyMarker = reinterpret_cast<SearchBlock*>(1);

// Zero-filled, 128-byte aligned memory for one block; pages are only touched when used.
}  // namespace

SearchBlock* ThreadPool::NewBlock() {
  // calloc hands out fresh zero pages for a block this large without touching them.
  void* mem = std::calloc(1, sizeof(SearchBlock) + 128);
  if (!mem) std::exit(12);
  {
    // Helpers allocate their blocks at once as they start.
    std::lock_guard<std::mutex> lock(memoryLock_);
    memory_.push_back(mem);
  }
  void* aligned = reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(mem) + 127) & ~uintptr_t(127));
  SearchBlock* b = new (aligned) SearchBlock;
  b->engine = &engine_;
  ResetSearchBlock(*b);
  return b;
}

void ThreadPool::AllocateThreadBlocks(int t) {
  for (int i = 1; i <= BlocksPerThread; ++i) {
    SearchBlock*& slot = blocks[t * BlocksPerThread + i];
    if (!slot) slot = NewBlock();
  }
}

void ThreadPool::WakeHelpers() {
  std::lock_guard<std::mutex> lk(sleepMutex);
  sleepCv.notify_all();
}

// Takes a free block for thread t, preferring its own; nullptr when none is free.
SearchBlock* ThreadPool::FreeBlockFor(int t) {
  for (int i = 1; i <= BlocksPerThread; ++i) {
    SearchBlock* b = blocks[t * BlocksPerThread + i];
    if (b && b->inUse.load() == 0) return b;
  }
  for (int i = 1; i <= MaxThreads * BlocksPerThread; ++i) {
    SearchBlock* b = blocks[i];
    if (b && b->inUse.load() == 0) return b;
  }
  return nullptr;
}

namespace {

// Lends a block to thread t with a copy of the split node's state.
SearchBlock* CopyToChild(SearchBlock& parent, int t) {
  SearchBlock* c = parent.engine->pool.FreeBlockFor(t);
  if (!c) return nullptr;
  const int ply = parent.plyAt;
  c->inUse = 1;
  c->stop = 0;
  c->childCount = 0;
  for (auto& ch : c->children) ch = nullptr;
  // The position without the unused tail of its history.
  const Position& src = parent.pos;
  const size_t head = offsetof(Position, history);
  std::memcpy(static_cast<void*>(&c->pos), &src, head);
  std::memcpy(c->pos.history, src.history, sizeof(HistoryEntry) * (src.historyCount + 1));
  c->pos.historyCount = src.historyCount;
  // Per-ply state down to the split ply; the child's lists start on its own stack.
  for (int p = 0; p <= ply + 1 && p < PlyCount; ++p) {
    c->ply[p].currentMove = parent.ply[p].currentMove;
    c->ply[p].hashMove = 0;
    c->ply[p].inCheck = parent.ply[p].inCheck;
    c->ply[p].givesCheck = parent.ply[p].givesCheck;
    c->ply[p].staticEval = parent.ply[p].staticEval;
    c->ply[p].nullMoveMade = parent.ply[p].nullMoveMade;
    c->ply[p].lateMove = parent.ply[p].lateMove;
    c->ply[p].mateThreat = parent.ply[p].mateThreat;
    c->ply[p].undo = parent.ply[p].undo;
    c->ply[p].moveListEnd = c->moveStack;
    c->ply[p].searchedCount = 0;
    c->ply[p].accState = AccUnknown;
  }
  // The split node's positional sums carry over; the plies above it are not this
  // block's positions.
  if (parent.ply[ply].accState == AccValid) {
    c->acc[ply] = parent.acc[ply];
    c->ply[ply].accState = AccValid;
  }
  for (int p = 0; p < PlyCount; ++p) {
    c->ply[p].killers[0] = parent.ply[p].killers[0];
    c->ply[p].killers[1] = parent.ply[p].killers[1];
  }
  c->pv[ply].length = ply - 1;
  c->nodes = c->qnodes = 0;
  c->selDepth = 0;
  c->threadId = t;
  c->parent = &parent;
  c->alpha = parent.alpha;
  c->beta = parent.beta;
  c->side = parent.side;
  c->plyAt = ply;
  c->depth = parent.depth;
  c->mateThreat = parent.mateThreat;
  c->splitInCheck = parent.splitInCheck;
  c->atRoot = parent.atRoot;
  c->splitBestMove = 0;
  c->splitBest = parent.alpha;
  return c;
}

// Gives the child's result to the split node and returns the block. The root's main
// line is not taken from here: each new best root move brings its line to the main
// block at once (OnNewRootBest), and a child whose score only equals the best has no
// line of its own to give.
void MergeIntoParent(SearchBlock& parent, SearchBlock& child, int v) {
  const int ply = parent.plyAt;
  if (child.nodes > 0 && !child.stop && v > parent.splitBest) {
    parent.splitBest = v;
    parent.splitBestMove = child.splitBestMove;
    if (!parent.atRoot) {
      for (int i = ply; i <= child.pv[ply].length; ++i) parent.pv[ply].moves[i] = child.pv[ply].moves[i];
      parent.pv[ply].length = child.pv[ply].length;
      parent.pv[ply].flag = child.pv[ply].flag;
    }
    for (int p = 0; p < PlyCount; ++p) {
      parent.ply[p].killers[0] = child.ply[p].killers[0];
      parent.ply[p].killers[1] = child.ply[p].killers[1];
    }
  }
  parent.nodes += child.nodes;
  parent.qnodes += child.qnodes;
  if (child.selDepth > parent.selDepth) parent.selDepth = child.selDepth;
  child.inUse = 0;
}

// Works through the moves of a split point on a lent block. The block's split record
// describes this split point only until the block splits again deeper down (a split
// there rewrites it), so the record is read once here and the result written back last.
// A loop of its own beside the node search's and the root's, with their per-move steps:
// its moves come from another block (the owner's picker, or the root list) under that
// block's lock, its count of legal moves is shared with the other threads of the split,
// and its result goes back to the owner instead of the table.
int SearchSplitPoint(SearchBlock& c) {
  SearchBlock& parent = *c.parent;
  SearchState& st = c.engine->state;
  const int ply = c.plyAt, side = c.side, depth = c.depth, beta = c.beta;
  const bool atRoot = c.atRoot, inCheck = c.splitInCheck;
  const bool pvNode = beta > c.alpha + 1;
  int alpha = c.alpha;
  int best = c.splitBest;
  Move bestMove = 0;
  auto finish = [&c, &best, &bestMove] {
    c.splitBest = best;
    c.splitBestMove = bestMove;
    return best;
  };
  Position& p = c.pos;
  for (;;) {
    // 1. Take the next move under the parent's lock.
    Move m = 0;
    int stage = 0;
    int rootIndex = -1;
    int moveCount = 0;
    parent.lock.Lock();
    if (atRoot) {
      for (int i = 0; i < st.rootMoveCount; ++i) {
        if (st.rootMoves[i].flags & RootSearched) continue;
        st.rootMoves[i].flags |= RootSearched;
        m = st.rootMoves[i].move;
        rootIndex = i;
        moveCount = i + 1;
        break;
      }
    } else {
      stage = inCheck ? NextEvasion(parent, ply, side) : NextMove(parent, ply, side);
      if (stage != 0) m = parent.ply[ply].currentMove;
      // The number the move would have among the node's legal moves, for its pruning.
      moveCount = parent.ply[ply].moveCount + 1;
    }
    parent.lock.Unlock();
    if (m == 0) return finish();
    // 2. Prune it unmade by the node's own rules, counted as the owner counts it; else
    // make it and skip it when it leaves the king attacked. The same rules as on the
    // thread that owns the node: root moves after the first and the late stages of the
    // picker may be reduced.
    c.ply[ply].currentMove = m;
    c.ply[ply].nullMoveMade = 0;
    c.ply[ply].lateMove = rootIndex >= 0 ? rootIndex > 0 : IsLatePick(stage);
    const bool givesCheck = MoveGivesCheck(p, m, side);
    if (rootIndex < 0 && PrunedBeforeMaking(c, ply, m, side, givesCheck, alpha, depth, moveCount, pvNode)) {
      parent.lock.Lock();
      ++parent.ply[ply].moveCount;
      parent.lock.Unlock();
      continue;
    }
    MakeSearchMove(c, ply, m, side, givesCheck);
    if (LeftInCheck(p, m, side, inCheck)) {
      c.nodes++;
      UnmakeSearchMove(c, ply, m);
      continue;
    }
    // The node's count of legal moves, shared by the threads at the split point, as the
    // owner counts them: moves that leave the king attacked do not count.
    if (rootIndex < 0) {
      parent.lock.Lock();
      moveCount = ++parent.ply[ply].moveCount;
      parent.lock.Unlock();
    }
    const Depth e = ExtensionFor(c, ply, m, side) - OnePly;
    const Depth r = LateMoveReduction(c, ply, m, side, depth, moveCount, pvNode, e, c.ply[ply].givesCheck);
    const uint64_t before = c.nodes;
    // 3. Null window, re-search of a reduced move, full window inside.
    const int v = SearchMadeMove(c, alpha, beta, depth, ply, side, e, r, false);
    UnmakeSearchMove(c, ply, m);
    // 4. Abort: a root move not finished is searched again later.
    if (SearchAborted(c)) {
      if (rootIndex >= 0) {
        parent.lock.Lock();
        for (int i = 0; i < st.rootMoveCount; ++i)
          if (st.rootMoves[i].move == m) st.rootMoves[i].flags &= ~RootSearched;
        parent.lock.Unlock();
      }
      return finish();
    }
    // 5. Root bookkeeping, under the root block's lock: the other helpers read the
    // root list under the same lock while taking their moves.
    if (rootIndex >= 0) {
      parent.lock.Lock();
      int idx = -1;
      for (int i = 0; i < st.rootMoveCount; ++i)
        if (st.rootMoves[i].move == m) idx = i;
      if (idx >= 0) st.rootMoves[idx].nodes = c.nodes - before;
      if (v > alpha && v > st.rootScore && idx >= 0) {
        OnNewRootBest(c, idx, m, v, beta);
        st.rootScore = v;
        st.bestMove = m;
      }
      parent.lock.Unlock();
    }
    // 6. Improvement and cut-off.
    if (v > alpha) {
      alpha = best = v;
      bestMove = m;
      if (rootIndex < 0) UpdatePv(c, ply, m);
      if (v >= beta || (atRoot && IsDecidedWin(v))) {
        c.engine->pool.abortCount++;
        StopSiblings(parent, c);
        return finish();
      }
    }
  }
}

}  // namespace

// Waits for a split point to work on; the owner of a split (waiting != nullptr)
// returns when all of its helpers are done.
void ThreadPool::WaitForWork(int id, SearchBlock* waiting) {
  for (;;) {
    // 1. Count this thread as idle.
    smpLock.Lock();
    idleCount++;
    smpLock.Unlock();
    // 2. Wait for work (or, as an owner, for the helpers to finish).
    int spins = 0;
    while (threadWork[id].load() == nullptr && !quitThreads.load()) {
      if (waiting) {
        if (waiting->childCount.load() == 0) break;
        if ((++spins & 1023) == 0) {
          if (id == 0) CheckWhileWaiting(*waiting);
          std::this_thread::yield();
        }
        continue;
      }
      if (++spins < SpinsBeforeSleep) continue;
      if (searchRunning.load()) {
        // During a search work comes often: stay awake, but let other threads run.
        std::this_thread::yield();
        continue;
      }
      std::unique_lock<std::mutex> lk(sleepMutex);
      sleepCv.wait_for(lk, std::chrono::milliseconds(100), [this, id] {
        return threadWork[id].load() != nullptr || quitThreads.load() || searchRunning.load();
      });
      spins = 0;
    }
    // 3. Leaving.
    if (quitThreads.load()) {
      smpLock.Lock();
      idleCount--;
      smpLock.Unlock();
      return;
    }
    // 4. Take the slot.
    smpLock.Lock();
    if (threadWork[id].load() == nullptr) threadWork[id] = waiting;
    idleCount--;
    smpLock.Unlock();
    // 5. The owner's split is finished.
    SearchBlock* w = threadWork[id].load();
    if (w == waiting) return;
    // 6. Search the lent block.
    const int v = SearchSplitPoint(*w);
    // 7. Report to the split node.
    SearchBlock& parent = *w->parent;
    smpLock.Lock();
    parent.lock.Lock();
    MergeIntoParent(parent, *w, v);
    parent.children[id] = nullptr;
    parent.childCount--;
    parent.lock.Unlock();
    threadWork[id] = nullptr;
    smpLock.Unlock();
  }
}

namespace {

void HelperMain(ThreadPool* pool, int id) {
  pool->AllocateThreadBlocks(id);
  pool->readyThreads++;
  pool->WaitForWork(id, nullptr);
}

// True when block b was lent, directly or further down, from `ancestor`.
bool DescendsFrom(const SearchBlock* b, const SearchBlock* ancestor) {
  for (; b; b = b->parent)
    if (b == ancestor) return true;
  return false;
}

// Thread t can take a copy of block b: it is idle, and if it only waits for the helpers
// of its own split, b belongs to that split's subtree (it then helps its own helpers).
}  // namespace

bool ThreadPool::CanLendTo(int t, const SearchBlock& b) const {
  if (threadWork[t].load() != nullptr) return false;
  const SearchBlock* w = waitingFor[t].load();
  return w == nullptr || DescendsFrom(&b, w);
}

// Threads of the search under way, main thread included: the caller's count held to 1..MaxThreads.
int ThreadPool::ThreadsOfThisSearch() const { return std::clamp(engine_.modes.threads, 1, MaxThreads); }

// Shares the node held by block b (its split fields set) with idle threads.
int ThreadPool::Split(SearchBlock& b) {
  const int owner = b.threadId;
  const int threads = ThreadsOfThisSearch();
  smpLock.Lock();
  bool anyIdle = false;
  for (int t = 0; t < threads; ++t)
    if (t != owner && CanLendTo(t, b)) anyIdle = true;
  if (!anyIdle || b.stop.load()) {
    smpLock.Unlock();
    return 0;
  }
  splitCount++;
  SearchBlock* const ownerWork = threadWork[owner].load();
  threadWork[owner] = nullptr;
  b.childCount = 0;
  for (auto& ch : b.children) ch = nullptr;
  b.splitBest = b.alpha;
  b.splitBestMove = 0;
  int made = 0;
  const int maxChildren = engine_.state.maxHelpersPerSplit > 0 ? engine_.state.maxHelpersPerSplit : 4;
  // The owner takes a copy first, then idle helpers until the split is full.
  for (int pass = 0; pass < 2; ++pass) {
    for (int t = 0; t < threads && made < maxChildren; ++t) {
      if ((pass == 0) != (t == owner)) continue;
      if (t == owner ? threadWork[t].load() != nullptr : !CanLendTo(t, b)) continue;
      SearchBlock* c = CopyToChild(b, t);
      if (!c) continue;
      b.children[t] = c;
      b.childCount++;
      ++made;
    }
  }
  if (made < 2) {
    // Nobody but the owner: give the block back and search on alone.
    for (int t = 0; t < MaxThreads; ++t)
      if (b.children[t]) {
        b.children[t]->inUse = 0;
        b.children[t] = nullptr;
      }
    b.childCount = 0;
    threadWork[owner] = ownerWork;
    smpLock.Unlock();
    return 0;
  }
  for (int t = 0; t < MaxThreads; ++t)
    if (b.children[t]) threadWork[t] = b.children[t];
  smpLock.Unlock();
  WakeHelpers();
  waitingFor[owner] = &b;
  WaitForWork(owner, &b);
  waitingFor[owner] = nullptr;
  threadWork[owner] = ownerWork;
  return 1;
}

SearchBlock& ThreadPool::MainBlock() {
  if (!blocks[0]) {
    blocks[0] = NewBlock();
    AllocateThreadBlocks(0);
    threadWork[0] = BusyMarker;
  }
  return *blocks[0];
}

void ThreadPool::StartHelpers() {
  MainBlock();
  const int want = ThreadsOfThisSearch();
  while (startedThreads + 1 < want) {
    const int id = ++startedThreads;
    helpers.emplace_back(HelperMain, this, id);
  }
  while (readyThreads.load() < startedThreads + 1) std::this_thread::yield();
}

bool ThreadPool::IdleHelpersAvailable() const {
  return engine_.modes.threads > 1 && idleCount.load(std::memory_order_relaxed) > 0;
}

bool ThreadPool::RootSplitUseful(int nextIndex) const {
  const SearchState& st = engine_.state;
  if (!st.rootSplitAllowed) return false;
  return st.rootScore >= st.previousScore - 100 || nextIndex > st.rootMoveCount / 3;
}

int SplitNode(SearchBlock& b, int alpha, int beta, Depth depth, int ply, int side, int mateThreat,
              bool inCheck, int* best, Move* bestMove) {
  b.alpha = alpha;
  b.beta = beta;
  b.side = side;
  b.plyAt = ply;
  b.depth = depth;
  b.mateThreat = mateThreat;
  b.splitInCheck = inCheck;
  b.atRoot = false;
  if (!b.engine->pool.Split(b)) return 0;
  *best = b.splitBest;
  *bestMove = b.splitBestMove;
  return 1;
}

int SplitRoot(SearchBlock& b, int alpha, int beta, Depth depth, int side, int* best, Move* bestMove) {
  b.alpha = alpha;
  b.beta = beta;
  b.side = side;
  b.plyAt = RootPly;
  b.depth = depth;
  b.mateThreat = 0;
  b.splitInCheck = b.ply[RootPly].inCheck;
  b.atRoot = true;
  if (!b.engine->pool.Split(b)) return 0;
  *best = b.splitBest;
  *bestMove = b.splitBestMove;
  return 1;
}

void ThreadPool::SetSearchRunning(bool running) {
  searchRunning = running;
  if (running) WakeHelpers();
}

void StopSiblings(SearchBlock& parent, SearchBlock& keep) {
  SpinLock& smpLock = parent.engine->pool.smpLock;
  smpLock.Lock();
  parent.lock.Lock();
  // Two cut-offs at once: the one that stopped the other first stands. Stopping it in
  // turn would throw both results away and leave the node with its alpha.
  if (!keep.stop.load())
    for (SearchBlock* sib : parent.children)
      if (sib && sib != &keep) StopBlock(*sib);
  parent.lock.Unlock();
  smpLock.Unlock();
}

void StopBlock(SearchBlock& b) {
  b.lock.Lock();
  b.stop = 1;
  for (SearchBlock* ch : b.children)
    if (ch) StopBlock(*ch);
  b.lock.Unlock();
}

void ThreadPool::StopHelpers() {
  quitThreads = true;
  WakeHelpers();
  for (auto& t : helpers) t.join();
  helpers.clear();
  startedThreads = 0;
  readyThreads = 1;
  quitThreads = false;
}

ThreadPool::~ThreadPool() {
  StopHelpers();
  for (SearchBlock*& b : blocks) {
    if (b) b->~SearchBlock();
    b = nullptr;
  }
  for (void* mem : memory_) std::free(mem);
}

}  // namespace kestrel
