#include "platform/Wmi.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "platform/RunError.h"
#include "platform/win32/Ownership.h"
#include "platform/win32/WmiObject.h"

namespace platform::wmi {

struct Object::Impl {
    win32::ComPtr<IDispatch> dispatch;
};

namespace {

using win32::ComPtr;
using win32::UniqueBstr;
using win32::UniqueVariant;

// COM on the run's thread: started on first use, ended by EndCom.
enum class ComState { NotStarted, Ours, Others };

ComState& Com() {
    static ComState state = ComState::NotStarted;
    return state;
}

void EnsureCom() {
    if (Com() != ComState::NotStarted) return;
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hr == RPC_E_CHANGED_MODE) {
        Com() = ComState::Others;  // COM is up in another mode: usable, not ours to end
        return;
    }
    if (FAILED(hr)) Fail(hr, L"Starting COM");
    Com() = ComState::Ours;  // S_OK or S_FALSE: one CoUninitialize is owed
}

// No run has more than one Win32_OperatingSystem or Win32_ComputerSystem; a walk
// stops here whatever a collection claims.
constexpr std::size_t MaxMembers = 64;

Object Wrap(ComPtr<IDispatch> dispatch) {
    auto impl = std::make_shared<Object::Impl>();
    impl->dispatch = std::move(dispatch);
    return Object(std::move(impl));
}

IDispatch* DispatchOf(const Object& object, const std::wstring& what) {
    if (!object.get() || !object.get()->dispatch) Fail(E_POINTER, what + L": no object");
    return object.get()->dispatch.get();
}

// Frees what an automation exception hands back, and keeps its description.
class Exception {
public:
    Exception() = default;
    ~Exception() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    Exception(const Exception&) = delete;
    Exception& operator=(const Exception&) = delete;
    Exception(Exception&&) = delete;
    Exception& operator=(Exception&&) = delete;

    EXCEPINFO* get() { return &info_; }
    HRESULT Code(HRESULT hr) {
        if (hr != DISP_E_EXCEPTION) return hr;
        if (info_.pfnDeferredFillIn) info_.pfnDeferredFillIn(&info_);
        return info_.scode != 0 ? info_.scode : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_DISPATCH, info_.wCode);
    }
    std::wstring Description() const {
        return info_.bstrDescription ? std::wstring(L" (") + info_.bstrDescription + L")" : std::wstring();
    }

private:
    EXCEPINFO info_{};
};

HRESULT IdOfName(IDispatch* target, const std::wstring& name, DISPID& id) {
    auto* names = const_cast<LPOLESTR>(name.c_str());
    return target->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id);
}

DISPID IdOf(IDispatch* target, const std::wstring& name) {
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = IdOfName(target, name, id);
    if (FAILED(hr)) Fail(hr, L"Finding the member " + name);
    return id;
}

// Calls as a script host does: properties and methods alike answer a value.
constexpr WORD GetFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

void Invoke(IDispatch* target, DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result, const std::wstring& what) {
    Exception exception;
    UINT badArgument = 0;
    const HRESULT hr =
        target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, exception.get(), &badArgument);
    if (FAILED(hr)) {
        const HRESULT code = exception.Code(hr);  // fills in a deferred description first
        Fail(code, what + exception.Description());
    }
}

TaggedValue FromVariant(const VARIANT& source, const std::wstring& what) {
    UniqueVariant plain;
    if (FAILED(VariantCopyInd(plain.get(), const_cast<VARIANT*>(&source)))) Fail(DISP_E_TYPEMISMATCH, what);
    const VARIANT& v = *plain.get();
    // An object is no value: converting it would invoke its default member.
    if ((V_VT(&v) & VT_TYPEMASK) == VT_DISPATCH || (V_VT(&v) & VT_TYPEMASK) == VT_UNKNOWN) {
        Fail(DISP_E_TYPEMISMATCH, what + L": an object, not a value");
    }
    switch (V_VT(&v)) {
    case VT_EMPTY: return EmptyValue{};
    case VT_NULL: return NullValue{};
    case VT_BSTR: return std::wstring(V_BSTR(&v) ? V_BSTR(&v) : L"", V_BSTR(&v) ? SysStringLen(V_BSTR(&v)) : 0);
    case VT_BOOL: return V_BOOL(&v) != VARIANT_FALSE;
    case VT_DATE: return DateTime{V_DATE(&v)};
    case VT_I1: return static_cast<std::int16_t>(V_I1(&v));
    case VT_UI1: return static_cast<std::int16_t>(V_UI1(&v));
    case VT_I2: return static_cast<std::int16_t>(V_I2(&v));
    case VT_UI2: return static_cast<std::int32_t>(V_UI2(&v));
    case VT_I4: return static_cast<std::int32_t>(V_I4(&v));
    case VT_INT: return static_cast<std::int32_t>(V_INT(&v));
    case VT_UI4: return static_cast<std::int64_t>(V_UI4(&v));
    case VT_UINT: return static_cast<std::int64_t>(V_UINT(&v));
    case VT_I8: return static_cast<std::int64_t>(V_I8(&v));
    case VT_UI8: return static_cast<std::int64_t>(V_UI8(&v));
    default: break;
    }
    UniqueVariant number;
    if (SUCCEEDED(VariantChangeType(number.get(), const_cast<VARIANT*>(&v), 0, VT_R8))) return V_R8(number.get());
    Fail(DISP_E_TYPEMISMATCH, what + L": not a plain value");
}

void ToVariant(const TaggedValue& value, VARIANT& target) {
    VariantInit(&target);
    if (const auto* text = std::get_if<std::wstring>(&value)) {
        V_VT(&target) = VT_BSTR;
        V_BSTR(&target) = SysAllocStringLen(text->data(), static_cast<UINT>(text->size()));
    } else if (std::holds_alternative<NullValue>(value)) {
        V_VT(&target) = VT_NULL;
    } else if (const auto* n16 = std::get_if<std::int16_t>(&value)) {
        V_VT(&target) = VT_I2;
        V_I2(&target) = *n16;
    } else if (const auto* n32 = std::get_if<std::int32_t>(&value)) {
        V_VT(&target) = VT_I4;
        V_I4(&target) = *n32;
    } else if (const auto* n64 = std::get_if<std::int64_t>(&value)) {
        V_VT(&target) = VT_I8;
        V_I8(&target) = *n64;
    } else if (const auto* flag = std::get_if<bool>(&value)) {
        V_VT(&target) = VT_BOOL;
        V_BOOL(&target) = *flag ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* date = std::get_if<DateTime>(&value)) {
        V_VT(&target) = VT_DATE;
        V_DATE(&target) = date->oleDate;
    } else if (const auto* real = std::get_if<double>(&value)) {
        V_VT(&target) = VT_R8;
        V_R8(&target) = *real;
    }
}

ComPtr<IDispatch> DispatchOfVariant(const VARIANT& v, const std::wstring& what) {
    ComPtr<IDispatch> dispatch;
    IUnknown* unknown = V_VT(&v) == VT_DISPATCH ? V_DISPATCH(&v) : V_VT(&v) == VT_UNKNOWN ? V_UNKNOWN(&v) : nullptr;
    if (!unknown) Fail(DISP_E_TYPEMISMATCH, what + L": no object came back");
    const HRESULT hr = unknown->QueryInterface(IID_IDispatch, dispatch.put_void());
    if (FAILED(hr)) Fail(hr, what);
    return dispatch;
}

}  // namespace

Object ObjectOf(IDispatch* dispatch) {
    ComPtr<IDispatch> shared;
    if (dispatch) {
        dispatch->AddRef();
        *shared.put() = dispatch;
    }
    return Wrap(std::move(shared));
}

void EndCom() {
    if (Com() == ComState::Ours) CoUninitialize();
    Com() = ComState::NotStarted;
}

Object ObjectFromMoniker(const std::wstring& moniker) {
    EnsureCom();
    ComPtr<IDispatch> dispatch;
    const HRESULT hr = CoGetObject(moniker.c_str(), nullptr, IID_IDispatch, dispatch.put_void());
    if (FAILED(hr)) Fail(hr, L"Getting the object \"" + moniker + L"\"");
    return Wrap(std::move(dispatch));
}

std::optional<Object> TryCreateObject(const std::wstring& progId) {
    EnsureCom();
    CLSID classId;
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &classId);
    if (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG) return std::nullopt;
    if (FAILED(hr)) Fail(hr, L"Looking up the class \"" + progId + L"\"");
    ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          dispatch.put_void());
    if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING) return std::nullopt;
    if (FAILED(hr)) Fail(hr, L"Creating the object \"" + progId + L"\"");
    return Wrap(std::move(dispatch));
}

Object CallForObject(const Object& target, const std::wstring& method, const std::wstring& argument) {
    const std::wstring what = method + L"(\"" + argument + L"\")";
    IDispatch* dispatch = DispatchOf(target, what);
    UniqueBstr text(argument.c_str());
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text.get();
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    UniqueVariant result;
    Invoke(dispatch, IdOf(dispatch, method), GetFlags, params, result.put(), what);
    return Wrap(DispatchOfVariant(*result.get(), what));
}

TaggedValue CallForValue(const Object& target, const std::wstring& method) {
    IDispatch* dispatch = DispatchOf(target, method);
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    UniqueVariant result;
    Invoke(dispatch, IdOf(dispatch, method), GetFlags, params, result.put(), method);
    return FromVariant(*result.get(), method);
}

std::vector<Object> Members(const Object& collection) {
    const std::wstring what = L"Walking a WMI collection";
    IDispatch* dispatch = DispatchOf(collection, what);
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    UniqueVariant enumerator;
    Invoke(dispatch, DISPID_NEWENUM, GetFlags, params, enumerator.put(), what);
    IUnknown* unknown = V_VT(enumerator.get()) == VT_UNKNOWN    ? V_UNKNOWN(enumerator.get())
                        : V_VT(enumerator.get()) == VT_DISPATCH ? V_DISPATCH(enumerator.get())
                                                                : nullptr;
    if (!unknown) Fail(DISP_E_TYPEMISMATCH, what);
    ComPtr<IEnumVARIANT> walk;
    HRESULT hr = unknown->QueryInterface(IID_IEnumVARIANT, walk.put_void());
    if (FAILED(hr)) Fail(hr, what);

    std::vector<Object> members;
    while (members.size() < MaxMembers) {
        UniqueVariant item;
        ULONG fetched = 0;
        hr = walk->Next(1, item.put(), &fetched);
        if (FAILED(hr)) Fail(hr, what);
        if (hr != S_OK || fetched == 0) break;
        members.push_back(Wrap(DispatchOfVariant(*item.get(), what)));
    }
    return members;
}

std::optional<TaggedValue> GetProperty(const Object& target, const std::wstring& name) {
    const std::wstring what = L"Reading the property " + name;
    IDispatch* dispatch = DispatchOf(target, what);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = IdOfName(dispatch, name, id);
    if (hr == DISP_E_UNKNOWNNAME) return std::nullopt;
    if (FAILED(hr)) Fail(hr, what);
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    UniqueVariant result;
    Exception exception;
    UINT badArgument = 0;
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, GetFlags, &params, result.put(), exception.get(),
                          &badArgument);
    hr = exception.Code(hr);  // fills in a deferred description first
    if (hr == DISP_E_UNKNOWNNAME) return std::nullopt;
    if (FAILED(hr)) Fail(hr, what + exception.Description());
    return FromVariant(*result.get(), what);
}

void PutProperty(const Object& target, const std::wstring& name, const TaggedValue& value) {
    const std::wstring what = L"Setting the property " + name;
    IDispatch* dispatch = DispatchOf(target, what);
    UniqueVariant argument;
    ToVariant(value, *argument.put());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {argument.get(), &named, 1, 1};
    Invoke(dispatch, IdOf(dispatch, name), DISPATCH_PROPERTYPUT, params, nullptr, what);
}

}  // namespace platform::wmi
