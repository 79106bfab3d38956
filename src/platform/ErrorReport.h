#pragma once
#include "platform/RunError.h"

namespace platform {

// Tells the user, in a message box titled with the program's name, what ended the run.
void ReportRunError(const RunError& error);

}  // namespace platform
