#pragma once
// Before vdmq-print's run: the settings, the entries and the paper of the
// run, and the output it writes to.
#include "app/batch/formoutput.h"
#include "app/batch/options.h"
#include "app/core/settings.h"

namespace vdmq::batch {

// The settings file of --settings, read the way the main window reads its
// own vdmq.ini, or the defaults.  Throws UsageError.
TVdcs LoadRunSettings(const Options& opt);

// The entries, the width and the paper of the run: the command line over
// the settings.  Sets the roster's path in `vdcs`.
void SetUpRun(FormOutput& host, const Options& opt, TVdcs& vdcs);

// The inputs no output may replace: the roster and the settings files.
void ProtectInputs(const Options& opt);

// The printer or the output file, before anything is read: false (with
// the reason said) when there is none to write to.
bool FindTarget(FormOutput& host, const Options& opt);

}  // namespace vdmq::batch
