#pragma once
#include <string>

#include "platform/RunError.h"

namespace platform {

// Tells the user, in a message box titled with the program's name, what ended the run.
void ReportRunError(const RunError& error);

// A message box titled with the program's name: an error's icon or an information's.
void ShowMessage(const std::wstring& text, bool isError);

}  // namespace platform
