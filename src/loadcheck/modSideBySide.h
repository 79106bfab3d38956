#pragma once
// Side-by-side assemblies: a DLL whose manifest names an assembly (the Visual C++
// 2005 and 2008 runtimes, MFC, ATL, the common controls 6.0) gets the DLLs of that
// assembly from the assembly's own folder, not by the search order. Shared ones are
// in the WinSxS store, found by name, processor and public key token, at the version
// named or a later one; private ones beside the DLL. When one cannot be found the
// DLL that names it does not load.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "filecheck/modManifest.h"
#include "loadcheck/modProgramView.h"
#include "platform/Threads.h"

namespace modSideBySide {

struct Assembly {
    std::wstring folder;             // where its DLLs are
    std::vector<std::wstring> dlls;  // their names
};

class Assemblies {
public:
    explicit Assemblies(const modProgramView::ProgramView& view) : view_(view) {}

    // The assembly `wanted` names, for a DLL in `dllFolder`: from the store when it
    // has a public key token, else, or when the store holds none, beside the DLL.
    std::optional<Assembly> Find(const modManifest::AssemblyIdentity& wanted, const std::wstring& dllFolder);

private:
    std::optional<Assembly> Shared(const modManifest::AssemblyIdentity& wanted);
    std::optional<Assembly> Private(const modManifest::AssemblyIdentity& wanted, const std::wstring& dllFolder) const;

    const modProgramView::ProgramView& view_;
    platform::threads::Lock lock_;                            // walks on other threads may share it
    std::map<std::wstring, std::optional<Assembly>> shared_;  // each wanted once
};

// "x86", "amd64": the processor an assembly is named for, the program's for "*".
std::wstring Architecture(const modManifest::AssemblyIdentity& wanted, const modProgramView::ProgramView& view);

// What installs an assembly, as the next step names it ("the Visual C++ 2008
// Redistributable (x86)"); empty when the program's own installer is all there is.
// `program64`: for a 64-bit program.
std::wstring Provider(const modManifest::AssemblyIdentity& wanted, bool program64);

}  // namespace modSideBySide
