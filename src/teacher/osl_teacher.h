// A teacher for training records built on OpenShogiLib: its trained evaluation and its
// quiescence search score a position given as SFEN text. Only the optional rescoring
// tool uses it; the engine never does. The OSL types stay inside osl_teacher.cpp.
#pragma once

#include <string>

namespace kestrel {

// Loads OSL's evaluation data (its home directory, e.g. from the gpsshogi data package).
// False with a reason when the data cannot be loaded.
bool InitOslTeacher(std::string* err);

// One thread's OSL search structures (hash table, search state); create one per thread.
struct OslScorer;
OslScorer* NewOslScorer();
void FreeOslScorer(OslScorer* s);

// OSL's view of one position. Values are OSL evaluation units from the side to move.
struct OslScore {
  int staticValue = 0;    // the evaluation of the position as it stands
  int quiesceValue = 0;   // the quiescence search's value (captures, threats resolved)
  bool decided = false;   // the quiescence search saw a mate or mate threat decide the game
  int legalMoves = -1;    // every legal move, unpromoted choices included; -1 when not asked
};

// Scores "<board> <side> <hands> <n>" text. The quiescence search runs to
// `quiesceDepth` (OSL counts 2 a ply, at most 8; 0: quiesceValue = staticValue), the legal moves are counted
// only when `countMoves` is set. False with a reason when OSL rejects the position.
bool ScoreSfen(OslScorer& s, const std::string& sfen, int quiesceDepth, bool countMoves, OslScore* out,
               std::string* err);

// OSL's value of one pawn in its evaluation units (what a pawn capture gains, halved).
int OslPawnValue();

}  // namespace kestrel
