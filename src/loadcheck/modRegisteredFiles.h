#pragma once
// The files the machine registers for programs to load in process: every class's
// InprocServer32 and every type library's win32 and win64 path, in the machine's and
// the user's classes, in each registry view this Windows has; grouped by the file they
// name, as a program of their bitness finds it. Every value is untrusted: one that
// names no file (not text, empty, past any path's length, a device, a relative path)
// is told as such. A class's TreatAs is not followed: the class it names is read for
// its own path, so a loop of them costs nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "loadcheck/modDllSearch.h"
#include "loadcheck/modProgramView.h"
#include "platform/Registry.h"

namespace modRegisteredFiles {

enum class Kind { Class, TypeLibrary };

// One registered path, as the registry holds it.
struct Registration {
    Kind kind = Kind::Class;
    platform::registry::Hive hive = platform::registry::Hive::LocalMachine;
    // The program that loads it is 64-bit: a class's registry view; a type library's "win64".
    bool bits64 = false;
    std::wstring key;  // below the hive's classes: "CLSID\{...}" or "TypeLib\{...}\1.0" (its version)
    platform::registry::Value value;
};

// No machine registers more: a walk stops here.
constexpr std::size_t MaxRegistrations = 1u << 20;

// Every registration, each key enumerated once: classes in each view, type libraries
// in one (they are shared from Windows 7 on) or each (before it).
std::vector<Registration> ReadRegistrations(bool windows64, const modProgramView::WindowsVersion& version);

// A registered value's file, where a program of its bitness finds it.
struct Named {
    std::wstring path;           // the file, where it really is; the value's text when it names none
    std::wstring fault;          // why the value names no file; empty when it names one
    std::uint16_t resource = 0;  // a type library's resource ("stdole.dll\2"); 0: the first
};

// The searches of the loader for names without a folder, one for each bitness.
struct Searches {
    modDllSearch::Search& of32;
    modDllSearch::Search& of64;
    const modProgramView::ProgramView& view32;
    const modProgramView::ProgramView& view64;
};

Named Resolve(const Registration& registration, const Searches& searches);

// One file and every registration that names it.
struct RegisteredFile {
    std::wstring path;                     // as shown: where it really is, or the faulty value's text
    std::wstring fault;                    // the value names no file: why
    std::vector<std::uint16_t> resources;  // the type library resources registered
    std::vector<Registration> registrations;

    std::size_t Count(Kind kind) const;
    // Registered for programs of this bitness, as a class or (classes false) as a type library.
    bool For(bool bits64, Kind kind) const;
};

// The registrations grouped by file, in the order first met; each faulty value alone.
std::vector<RegisteredFile> Group(const std::vector<Registration>& registrations, const Searches& searches);

}  // namespace modRegisteredFiles
