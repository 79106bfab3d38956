// WMI: services by moniker, collections of instances, the date-time converter.
#include <variant>

#include "FakePlatform.h"
#include "platform/Wmi.h"

using fake::S;

// Counts the objects alive, so that tests see what the program still holds.
struct LiveObject {
    LiveObject() { ++S().wmi.liveObjects; }
    LiveObject(const LiveObject&) : LiveObject() {}
    LiveObject(LiveObject&&) noexcept : LiveObject() {}
    LiveObject& operator=(const LiveObject&) = default;
    LiveObject& operator=(LiveObject&&) = default;
    ~LiveObject() { --S().wmi.liveObjects; }
};

struct platform::wmi::Object::Impl {
    enum class Kind { Service, Collection, Instance, Converter } kind;
    std::wstring moniker;          // Service
    fake::WmiCollection members;   // Collection
    fake::WmiInstance properties;  // Instance
    LiveObject live{};
};

namespace platform::wmi {

namespace {
constexpr std::int32_t InvalidQuery = static_cast<std::int32_t>(0x80041017u);  // WBEM_E_INVALID_QUERY
constexpr std::int32_t NotAnObject = static_cast<std::int32_t>(0x80004003u);   // E_POINTER

Object Make(Object::Impl impl) { return Object(std::make_shared<Object::Impl>(std::move(impl))); }

const Object::Impl& Expect(const Object& object, Object::Impl::Kind kind, const std::wstring& what) {
    if (!object.get() || object.get()->kind != kind) throw RunError(NotAnObject, what + L": not the expected object");
    return *object.get();
}

void FailIfInjected(const std::wstring& key) {
    const auto found = S().wmi.failures.find(key);
    if (found != S().wmi.failures.end()) throw RunError(found->second, L"Injected failure: " + key);
}
}  // namespace

void EndCom() {
    S().wmi.liveObjectsAtEndCom.push_back(S().wmi.liveObjects);
    S().trace.push_back(L"endcom");
}

Object ObjectFromMoniker(const std::wstring& moniker) {
    S().wmi.connections.push_back(moniker);
    FailIfInjected(moniker);
    return Make({Object::Impl::Kind::Service, moniker, {}, {}});
}

std::optional<Object> TryCreateObject(const std::wstring& progId) {
    S().wmi.createdProgIds.push_back(progId);
    if (fake::Folded(progId) != L"wbemscripting.swbemdatetime" || !S().wmi.converter) return std::nullopt;
    return Make({Object::Impl::Kind::Converter, {}, {}, {}});
}

Object CallForObject(const Object& target, const std::wstring& method, const std::wstring& argument) {
    const auto& service = Expect(target, Object::Impl::Kind::Service, method);
    S().wmi.calls.push_back({service.moniker, method, argument});
    FailIfInjected(argument);
    const auto found = S().wmi.answers.find({fake::Folded(method), fake::Folded(argument)});
    if (found == S().wmi.answers.end()) throw RunError(InvalidQuery, method + L"(\"" + argument + L"\") has no answer");
    return Make({Object::Impl::Kind::Collection, {}, found->second, {}});
}

TaggedValue CallForValue(const Object& target, const std::wstring& method) {
    Expect(target, Object::Impl::Kind::Converter, method);
    S().wmi.converterTrace.push_back(method);
    if (fake::Folded(method) != L"getvardate") throw RunError(errors::UnknownName, method);
    return *S().wmi.converter;
}

std::vector<Object> Members(const Object& collection) {
    std::vector<Object> members;
    for (const auto& instance : Expect(collection, Object::Impl::Kind::Collection, L"Members").members) {
        members.push_back(Make({Object::Impl::Kind::Instance, {}, {}, instance}));
    }
    return members;
}

std::optional<TaggedValue> GetProperty(const Object& target, const std::wstring& name) {
    const auto& properties = Expect(target, Object::Impl::Kind::Instance, name).properties;
    S().wmi.propertyReads.push_back(name);
    const auto found = properties.find(name);
    if (found == properties.end()) return std::nullopt;
    return found->second;
}

void PutProperty(const Object& target, const std::wstring& name, const TaggedValue& value) {
    Expect(target, Object::Impl::Kind::Converter, name);
    const auto* text = std::get_if<std::wstring>(&value);
    S().wmi.converterTrace.push_back(name + L"=" + (text ? *text : L"<not text>"));
}

}  // namespace platform::wmi

namespace fake {

WmiInstance Windows7Instance(const wchar_t* architecture) {
    return {
        {L"BootDevice", std::wstring(L"\\Device\\HarddiskVolume1")},
        {L"BuildNumber", std::wstring(L"7601")},
        {L"BuildType", std::wstring(L"Multiprocessor Free")},
        {L"Caption", std::wstring(L"Microsoft Windows 7 Professional")},
        {L"CodeSet", std::wstring(L"1250")},
        {L"CountryCode", std::wstring(L"420")},
        {L"Debug", false},
        {L"EncryptionLevel", std::int32_t{256}},
        {L"InstallDate", std::wstring(L"20200115103000.000000+060")},
        {L"NumberOfLicensedUsers", platform::NullValue{}},
        {L"Organization", std::wstring(L"Velmora QA")},
        {L"OSArchitecture", std::wstring(architecture)},
        {L"OSLanguage", std::int32_t{1029}},
        {L"OSProductSuite", std::int32_t{256}},
        {L"OSType", std::int32_t{18}},
        {L"Primary", true},
        {L"RegisteredUser", std::wstring(L"Tester")},
        {L"SerialNumber", std::wstring(L"00371-OEM-8992671-00524")},
        {L"ServicePackMajorVersion", std::int32_t{1}},
        {L"ServicePackMinorVersion", std::int32_t{0}},
        {L"Version", std::wstring(L"6.1.7601")},
    };
}

}  // namespace fake
