#pragma once
// The control file the program checks, and the one build of it that passes: facts
// that the check run, its result and the registration check share.
namespace modControlFile {

inline constexpr wchar_t FileName[] = L"MsComCtl.OCX";
inline constexpr wchar_t RequiredVersion[] = L"6.1.98.46";
inline constexpr wchar_t RequiredCRC32[] = L"B97FD45E";

}  // namespace modControlFile
