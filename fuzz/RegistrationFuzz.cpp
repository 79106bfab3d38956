// The registration check over any registry the fakes can hold: each entry's value of
// any kind and text (quotes, environment references, System32 and SysWOW64 under
// the Windows folder, short names, bare names, folders, control characters), in
// either hive, and version keys of any name. Whatever it reads, the check must
// neither fail nor contradict itself, and the result must stay well-formed JSON text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FakePlatform.h"
#include "FuzzCheck.h"
#include "app/modRunResult.h"
#include "filecheck/modRegistration.h"

// Input: a byte whose low bit says a 64-bit Windows; then the type library's entry
// and the two classes' entries, each a value; then a count of other versions, each a
// text (its key's name) and a value. A value: a byte (low bits % 5: text, expandable
// text, another type, text, none; bit 7: per user), then unless none a text. A text:
// a count of pieces (% 8), each a byte below 200 picking one of Pieces, or from 200
// on, a code unit in the next two bytes.
using fake::S;
using fuzzcheck::Check;
using platform::registry::Hive;
using platform::registry::ValueKind;

namespace {

const std::wstring Library = L"{00000000-0000-4000-8000-0000000000A0}";
const std::wstring Classes[] = {L"{00000000-0000-4000-8000-0000000000A1}", L"{00000000-0000-4000-8000-0000000000A2}"};
const std::wstring Windows = L"C:\\Windows";

// Pieces a registry text is made of, so that the paths that matter come up often.
const wchar_t* const Pieces[] = {
    L"C:\\Windows\\",  L"System32\\", L"SysWOW64\\", L"SYSWOW64\\", L"MsComCtl.OCX", L"mscomctl.ocx", L"\"",
    L"%SystemRoot%\\", L"%Nothing%",  L"\\",         L"/",          L"C:",           L"~1",           L" ",
    L"App\\",          L"\x00E9",     L"\xD800",     L"..\\",
};

std::wstring Text(fuzzcheck::Reader& in) {
    std::wstring text;
    for (std::uint8_t n = in.Byte() % 8; n > 0; --n) {
        const std::uint8_t pick = in.Byte();
        if (pick < 200) {
            text += Pieces[pick % (sizeof Pieces / sizeof *Pieces)];
        } else {
            text += static_cast<wchar_t>(in.Take<std::uint16_t>());
        }
    }
    return text;
}

void Value(fuzzcheck::Reader& in, const std::wstring& key) {
    const std::uint8_t how = in.Byte();
    if (how % 5 == 4) return;  // no such value
    const ValueKind kinds[] = {ValueKind::Text, ValueKind::ExpandableText, ValueKind::Other, ValueKind::Text};
    const Hive hive = (how & 0x80) ? Hive::CurrentUser : Hive::LocalMachine;
    S().registry.Set(hive, L"Software\\Classes\\" + key, kinds[how % 4], Text(in));
}

void CheckEntry(const modRegistration::Entry& entry) {
    Check(entry.registered == !entry.loads.empty(), "registered but names nothing, or the other way", entry.loads);
    Check(!entry.registered || entry.path.has_value(), "registered without a text", entry.loads);
    Check(!entry.here || (entry.registered && entry.exists), "names this file, which is not there", entry.loads);
    Check(entry.path.has_value() == entry.scope.has_value(), "a text without a scope, or a scope without one");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzcheck::Reader in(data, size);
    fake::Reset();
    const bool windows64 = in.Byte() & 1;
    const std::wstring control = Windows + (windows64 ? L"\\SysWoW64" : L"\\System32") + L"\\MsComCtl.OCX";
    fake::AddFile(control, {0x4D, 0x5A});
    fake::AddFile(L"C:\\App\\MsComCtl.OCX", {0x4D, 0x5A});
    S().folderPaths = {Windows + L"\\SysWOW64", Windows + L"\\System32"};
    S().environment[L"SystemRoot"] = Windows;
    S().longForms[L"C:\\Windows\\SysWOW64\\MSCOMC~1.OCX"] = Windows + L"\\SysWoW64\\MsComCtl.OCX";
    S().typeLibraries[control] = {Library, 2, 2, {Classes[0], Classes[1]}};

    Value(in, L"TypeLib\\" + Library + L"\\2.2\\0\\win32");
    for (const auto& classId : Classes) Value(in, L"CLSID\\" + classId + L"\\InprocServer32");
    for (std::uint8_t n = in.Byte() % 4; n > 0; --n)
        Value(in, L"TypeLib\\" + Library + L"\\" + Text(in) + L"\\0\\win32");

    const auto found = modRegistration::CheckRegistration(control, Windows, windows64);
    Check(found.typeLibrary.has_value(), "a type library that was read is missing");
    CheckEntry(*found.typeLibrary);
    bool allHere = found.typeLibrary->here, noneRegistered = !found.typeLibrary->registered;
    for (const auto& entry : found.classes) {
        CheckEntry(entry);
        allHere = allHere && entry.here;
        noneRegistered = noneRegistered && !entry.registered;
    }
    for (const auto& entry : found.otherVersions) {
        CheckEntry(entry);
        Check(entry.version != found.typeLibrary->version, "its own version listed as another", entry.version);
    }
    Check((found.state == modRegistration::State::Registered) == allHere, "registered, but not every entry names it");
    Check((found.state == modRegistration::State::NotRegistered) == noneRegistered, "not registered, yet an entry is");
    Check(found.hint.has_value() == !allHere, "a hint where it is registered, or none where it is not");

    modRunResult::RunRecord record;
    record.registration = found;
    const auto json = modRunResult::ToJson(record, L"0.0.0.0");
    Check(json.find(L"\"registration\": {") != std::wstring::npos, "the result lacks the registration", json);
    bool inString = false, escaped = false;
    for (const wchar_t ch : json) {
        Check(!inString || ch >= 0x20, "a control character inside a JSON string", json);
        if (inString && !escaped && ch == L'\\') {
            escaped = true;
            continue;
        }
        if (!escaped && ch == L'"') inString = !inString;
        escaped = false;
    }
    Check(!inString, "a JSON string left open", json);
    return 0;
}
