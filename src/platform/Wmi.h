#pragma once
// WMI reached as a script host reaches it: late-bound automation objects.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/TaggedValue.h"

namespace platform::wmi {

// A reference to an automation object; copies share it, the last one releases it.
class Object {
public:
    struct Impl;
    Object() = default;
    explicit Object(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
    Impl* get() const noexcept { return impl_.get(); }

private:
    std::shared_ptr<Impl> impl_;
};

// COM is started on this thread by the first call below. EndCom ends it again, when
// the program started it; every Object must be gone by then.
void EndCom();

// The object a moniker names (CoGetObject / MkParseDisplayName).
Object ObjectFromMoniker(const std::wstring& moniker);
// An object made from a program identifier; nothing when the class is not registered.
std::optional<Object> TryCreateObject(const std::wstring& progId);

// A method with one text argument that answers an object (ExecQuery, InstancesOf).
Object CallForObject(const Object& target, const std::wstring& method, const std::wstring& argument);
// A method without arguments that answers a value (GetVarDate).
TaggedValue CallForValue(const Object& target, const std::wstring& method);
// The members of a collection, in its order, walked through _NewEnum; no more than
// 64, more than any real WMI collection of the program holds.
std::vector<Object> Members(const Object& collection);

// A property read by name; nothing when the object does not know the name.
std::optional<TaggedValue> GetProperty(const Object& target, const std::wstring& name);
void PutProperty(const Object& target, const std::wstring& name, const TaggedValue& value);

}  // namespace platform::wmi
