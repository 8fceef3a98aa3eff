// The program as a whole: settings start-up, the one-shot commands (--save,
// --decode, --sourcetable) and the headless view with its job.
#pragma once

#include "app/ProgramOptions.h"

namespace zerlan {

int RunProgram(const ProgramOptions& options);

}  // namespace zerlan
