#pragma once
// --check's report: a table for people or one JSON line per problem, on
// standard output; the summary on standard error.
#include "app/batch/jsonline.h"
#include "form/VdPrnCheck.h"

namespace vdmq {
class TPrintRun;
struct TVdcs;
}  // namespace vdmq

namespace vdmq::batch {

// One problem as --check --json writes it: the keys every problem has, then
// those of its kind.
JsonLine ProblemJson(const TCheckProblem& p);

// Checks the run's range and writes the report; the exit status: 0 when
// nothing was found, 1 for problems, a roster that cannot be read or an
// output that cannot be written, 2 for a row number that is no number.
int RunCheck(TPrintRun& run, bool json, const TVdcs& vdcs);

}  // namespace vdmq::batch
