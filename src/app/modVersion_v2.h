#pragma once
#include <string>

namespace modVersion_v2 {

// The program version as Major.Minor.0.Revision, from the version resource.
std::wstring GetAppVersion();

}  // namespace modVersion_v2
