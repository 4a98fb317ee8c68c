// OSL wrapper for the rescoring tool: set-up, per-thread search structures and the
// scoring of one SFEN position. OSL reports failures with exceptions; they are caught
// here and turned into a false return, so nothing of OSL leaks to the callers.
#include "teacher/osl_teacher.h"

#include <exception>

#include "osl/checkmate/dualDfpn.h"
#include "osl/eval/openMidEndingEval.h"
#include "osl/eval/pieceEval.h"
#include "osl/numEffectState.h"
#include "osl/oslConfig.h"
#include "osl/search/quiescenceSearch2.h"
#include "osl/search/searchState2.h"
#include "osl/search/simpleHashTable.h"
#include "osl/usi.h"

namespace kestrel {

using Eval = osl::eval::ml::OpenMidEndingEval;
using QSearch = osl::search::QuiescenceSearch2<Eval>;

struct OslScorer {
  osl::DualDfpn checkmate;
  // Small and cleared before every position: a table carried from one position to the
  // next would make a record's score depend on which records the thread saw before.
  osl::search::SimpleHashTable table{20000, -16, 0};
  osl::search::SearchState2Core core{osl::NumEffectState(), checkmate};
};

bool InitOslTeacher(std::string* err) {
  try {
    osl::OslConfig::setUp();
  } catch (const std::exception& e) {
    *err = std::string("OSL set-up failed: ") + e.what();
    return false;
  }
  if (!Eval::initialized()) {
    *err = "OSL evaluation data not loaded (looked in " + osl::OslConfig::home() +
           "; set OSL_HOME to the folder holding data/eval.bin)";
    return false;
  }
  return true;
}

OslScorer* NewOslScorer() { return new OslScorer(); }

void FreeOslScorer(OslScorer* s) { delete s; }

int OslPawnValue() { return Eval::captureValue(osl::newPtypeO(osl::WHITE, osl::PAWN)) / 2; }

bool ScoreSfen(OslScorer& s, const std::string& sfen, int quiesceDepth, bool countMoves, OslScore* out,
               std::string* err) {
  try {
    const osl::NumEffectState state = osl::usi::makeState("sfen " + sfen);
    if (!state.isConsistent(false)) {
      *err = "OSL finds the position inconsistent";
      return false;
    }
    const osl::Player turn = state.turn();
    // OSL's values are Black's; the record wants the side to move's.
    const int sign = turn == osl::BLACK ? 1 : -1;
    Eval eval(state);
    out->staticValue = sign * eval.value();
    out->quiesceValue = out->staticValue;
    out->decided = false;
    if (quiesceDepth > 0) {
      s.table.clear();
      s.core.setState(state);
      QSearch qs(s.core, s.table);
      const int value = qs.search(turn, eval, osl::Move::PASS(osl::alt(turn)), quiesceDepth);
      out->quiesceValue = sign * value;
      // Beyond the evaluation's range the search has seen a mate or an unstoppable
      // mate threat (OSL adds half its win value for those).
      out->decided = value > Eval::infty() || value < -Eval::infty();
    }
    out->legalMoves = -1;
    if (countMoves) {
      osl::MoveVector moves;
      state.generateWithFullUnpromotions(moves);
      out->legalMoves = (int)moves.size();
    }
    return true;
  } catch (const std::exception& e) {
    *err = std::string("OSL: ") + e.what();
  } catch (...) {
    *err = "OSL failed on the position";
  }
  return false;
}

}  // namespace kestrel
