#pragma once
// Telling the user: a message box, and the system's own words for an error number.
#include <cstdint>
#include <string>

namespace platform {

// What the system says of an error number (WMI's numbers as wmiutils.dll words
// them), without a closing line end; empty when it has no words for it.
std::wstring SystemDescription(std::int32_t number);
// Loads what SystemDescription reads its words from, so that telling the end of the
// run loads nothing: that end may come while another thread is inside the loader.
void PrepareSystemDescriptions();

// A message box with this title: an error's icon or an information's.
void ShowMessage(const std::wstring& title, const std::wstring& text, bool isError);

}  // namespace platform
