#include "platform/TypeLibrary.h"

#include <windows.h>
#include <oleauto.h>

#include "platform/win32/Ownership.h"

namespace platform::typelib {

namespace {

using win32::ComPtr;

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};  // StringFromGUID2 writes upper-case digits in braces
    return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

// An attribute record a type library or type hands out, given back when it goes.
template <class Owner, class Attributes, void (STDMETHODCALLTYPE Owner::*Give)(Attributes*)>
class Borrowed {
public:
    explicit Borrowed(Owner* owner) : owner_(owner) {}
    ~Borrowed() {
        if (attributes_) (owner_->*Give)(attributes_);
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
    Borrowed(Borrowed&&) = delete;
    Borrowed& operator=(Borrowed&&) = delete;

    Attributes** put() { return &attributes_; }
    const Attributes* operator->() const { return attributes_; }

private:
    Owner* owner_;
    Attributes* attributes_ = nullptr;
};
using LibraryAttributes = Borrowed<ITypeLib, TLIBATTR, &ITypeLib::ReleaseTLibAttr>;
using TypeAttributes = Borrowed<ITypeInfo, TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;

// The class's CLSID when it is a coclass Windows can create; empty otherwise.
std::optional<std::wstring> CreatableClass(ITypeLib& library, UINT index) {
    TYPEKIND kind = TKIND_MAX;
    if (FAILED(library.GetTypeInfoType(index, &kind))) return std::nullopt;
    if (kind != TKIND_COCLASS) return std::wstring();
    ComPtr<ITypeInfo> info;
    if (FAILED(library.GetTypeInfo(index, info.put()))) return std::nullopt;
    TypeAttributes attributes(info.get());
    if (FAILED(info->GetTypeAttr(attributes.put()))) return std::nullopt;
    return (attributes->wTypeFlags & TYPEFLAG_FCANCREATE) ? GuidText(attributes->guid) : std::wstring();
}

}  // namespace

std::optional<TypeLibrary> Read(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    // REGKIND_NONE: LoadTypeLib would register what it loads.
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()))) return std::nullopt;
    TypeLibrary found;
    {
        LibraryAttributes attributes(library.get());
        if (FAILED(library->GetLibAttr(attributes.put()))) return std::nullopt;
        found.id = GuidText(attributes->guid);
        found.major = attributes->wMajorVerNum;
        found.minor = attributes->wMinorVerNum;
    }
    const UINT count = library->GetTypeInfoCount();
    for (UINT index = 0; index < count; ++index) {
        const auto classId = CreatableClass(*library.get(), index);
        if (!classId) return std::nullopt;  // a library that can't be read whole is no library
        if (!classId->empty()) found.creatableClasses.push_back(*classId);
    }
    return found;
}

}  // namespace platform::typelib
