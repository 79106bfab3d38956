// The WMI port's answers to what the real service never gives on demand: COM
// started in each of its states, an object where a value belongs, a collection
// longer than any the program reads. A small IDispatch double stands in for WMI's
// objects and counts every reference it hands out, so a leak on any path shows.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "ImportPatch.h"
#include "platform/RunError.h"
#include "platform/Wmi.h"
#include "platform/win32/WmiObject.h"

namespace {

namespace wmi = platform::wmi;

// References the doubles hold out; 0 when the port has released every one.
long liveReferences = 0;

// IUnknown's counting for the doubles. The test owns them; the count only tells
// whether the port gave back what it took.
template <class Interface>
class Counted : public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override {
        ++liveReferences;
        return static_cast<ULONG>(++references_);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        --liveReferences;
        return static_cast<ULONG>(--references_);
    }

protected:
    HRESULT Give(REFIID asked, REFIID own, void** out) {
        if (!IsEqualIID(asked, IID_IUnknown) && !IsEqualIID(asked, own)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }

private:
    long references_ = 0;
};

class DispatchDouble;

// A walk over `count` members, each made when it is asked for.
class EnumDouble : public Counted<IEnumVARIANT> {
public:
    explicit EnumDouble(ULONG count) : count_(count) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return Give(riid, IID_IEnumVARIANT, out);
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

    ULONG handedOut = 0;

private:
    ULONG count_;
    std::vector<std::unique_ptr<DispatchDouble>> members_;
};

// An automation object with named properties, each filling the result as the test
// says; with members, also a collection (DISPID_NEWENUM).
class DispatchDouble : public Counted<IDispatch> {
public:
    using Property = std::function<void(VARIANT&)>;

    void Define(const std::wstring& name, Property property) { properties_[name] = std::move(property); }
    // What the object answers as its default member (DISPID_VALUE), as a script host's
    // conversion of the object to a value would ask for it.
    void DefineDefault(Property property) { default_ = std::move(property); }
    EnumDouble& Walk(ULONG members) {
        walk_ = std::make_unique<EnumDouble>(members);
        return *walk_;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return Give(riid, IID_IDispatch, out);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
        const auto found = properties_.find(names[0]);
        if (found == properties_.end()) return DISP_E_UNKNOWNNAME;
        *ids = static_cast<DISPID>(1 + std::distance(properties_.begin(), found));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        VariantInit(result);
        if (id == DISPID_NEWENUM && walk_) {
            V_VT(result) = VT_UNKNOWN;
            walk_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&V_UNKNOWN(result)));
            return S_OK;
        }
        if (id == DISPID_VALUE && default_) {
            ++defaultReads;
            default_(*result);
            return S_OK;
        }
        if (id < 1 || id > static_cast<DISPID>(properties_.size())) return DISP_E_MEMBERNOTFOUND;
        std::next(properties_.begin(), id - 1)->second(*result);
        return S_OK;
    }

    int defaultReads = 0;

private:
    std::map<std::wstring, Property> properties_;
    Property default_;
    std::unique_ptr<EnumDouble> walk_;
};

HRESULT EnumDouble::Next(ULONG wanted, VARIANT* items, ULONG* fetched) {
    ULONG given = 0;
    for (; given < wanted && handedOut < count_; ++given, ++handedOut) {
        members_.push_back(std::make_unique<DispatchDouble>());
        VariantInit(&items[given]);
        V_VT(&items[given]) = VT_DISPATCH;
        members_.back()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&V_DISPATCH(&items[given])));
    }
    if (fetched) *fetched = given;
    return given == wanted ? S_OK : S_FALSE;
}

class WmiDouble : public ::testing::Test {
protected:
    void SetUp() override { liveReferences = 0; }
    void TearDown() override { EXPECT_EQ(liveReferences, 0) << "references the port kept"; }
};

// --- A property that holds an object ---------------------------------------------------

TEST_F(WmiDouble, AnObjectWhereAValueBelongsIsATypeMismatch) {
    DispatchDouble child;  // its default member answers a number
    child.DefineDefault([](VARIANT& result) {
        V_VT(&result) = VT_I4;
        V_I4(&result) = 42;
    });
    DispatchDouble instance;
    const auto holding = [&child](VARTYPE type) {
        return [&child, type](VARIANT& result) {
            child.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&V_DISPATCH(&result)));
            V_VT(&result) = type;  // an IDispatch is an IUnknown too
        };
    };
    instance.Define(L"AsDispatch", holding(VT_DISPATCH));
    instance.Define(L"AsUnknown", holding(VT_UNKNOWN));
    instance.Define(L"Text", [](VARIANT& result) {
        V_VT(&result) = VT_BSTR;
        V_BSTR(&result) = SysAllocString(L"plain");
    });
    const auto object = wmi::ObjectOf(&instance);

    for (const wchar_t* name : {L"AsDispatch", L"AsUnknown"}) {
        try {
            (void)wmi::GetProperty(object, name);
            ADD_FAILURE() << "no error for " << testing::PrintToString(std::wstring(name));
        } catch (const platform::RunError& error) {
            EXPECT_EQ(error.Number(), platform::errors::TypeMismatch);
            EXPECT_NE(error.Description().find(name), std::wstring::npos);
        }
    }
    EXPECT_EQ(child.defaultReads, 0) << "the object was asked for its value";
    // The same object still answers a plain value.
    EXPECT_EQ(std::get<std::wstring>(*wmi::GetProperty(object, L"Text")), L"plain");
}

// --- A collection walk -------------------------------------------------------------------

TEST_F(WmiDouble, AWalkStopsAt64MembersAndReleasesEveryOne) {
    struct Case {
        ULONG members;
        std::size_t walked;
    };
    for (const Case& c : {Case{0, 0}, Case{3, 3}, Case{64, 64}, Case{65, 64}, Case{100000, 64}}) {
        DispatchDouble collection;
        EnumDouble& walk = collection.Walk(c.members);
        {
            const auto members = wmi::Members(wmi::ObjectOf(&collection));
            EXPECT_EQ(members.size(), c.walked) << c.members << " members";
        }
        EXPECT_EQ(walk.handedOut, c.walked) << "members asked for beyond the bound, of " << c.members;
        EXPECT_EQ(liveReferences, 0) << c.members << " members";
    }
}

// --- COM's answers to the start ------------------------------------------------------------

HRESULT comAnswer = S_OK;
int comStarts = 0;
int comEnds = 0;

HRESULT WINAPI AnsweringCoInitializeEx(LPVOID, DWORD) {
    ++comStarts;
    return comAnswer;
}
void WINAPI CountingCoUninitialize() { ++comEnds; }

TEST(WmiCom, EachAnswerToTheStartIsKeptOrEndsTheRun) {
    struct Case {
        HRESULT answer;
        bool goesOn;
        int endsOwed;  // CoUninitialize calls EndCom makes
    };
    const Case cases[] = {
        {S_OK, true, 1},                // started here
        {S_FALSE, true, 1},             // already started on this thread, counted once more
        {RPC_E_CHANGED_MODE, true, 0},  // up in another mode: usable, not ours to end
        {E_OUTOFMEMORY, false, 0},
        {E_UNEXPECTED, false, 0},
    };
    wmi::EndCom();  // whatever an earlier test started
    velmora_test::ImportPatch start("ole32.dll", "CoInitializeEx", reinterpret_cast<void*>(&AnsweringCoInitializeEx));
    velmora_test::ImportPatch end("ole32.dll", "CoUninitialize", reinterpret_cast<void*>(&CountingCoUninitialize));
    // COM really up, whatever the stand-in answers, so that going on can be seen.
    ASSERT_TRUE(SUCCEEDED(start.Original<decltype(&CoInitializeEx)>()(nullptr, COINIT_APARTMENTTHREADED)));

    for (const Case& c : cases) {
        comAnswer = c.answer;
        comStarts = comEnds = 0;
        const auto label = testing::Message() << std::hex << "answer 0x" << static_cast<unsigned long>(c.answer);
        try {
            EXPECT_FALSE(wmi::TryCreateObject(L"Velmora.NoSuchClass").has_value()) << label;
            EXPECT_TRUE(c.goesOn) << label << ": went on";
        } catch (const platform::RunError& error) {
            EXPECT_FALSE(c.goesOn) << label << ": ended the run";
            EXPECT_EQ(error.Number(), c.answer) << label;
        }
        // A second use starts nothing again.
        if (c.goesOn) {
            EXPECT_NO_THROW((void)wmi::TryCreateObject(L"Velmora.NoSuchClass")) << label;
        }
        EXPECT_EQ(comStarts, 1) << label;
        wmi::EndCom();
        EXPECT_EQ(comEnds, c.endsOwed) << label;
    }
    end.Original<decltype(&CoUninitialize)>()();
}

}  // namespace
