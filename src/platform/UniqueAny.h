#pragma once
// Handles as the platform hands them to the program, and one owner for all of them.
//
// Handle<Kind> is an opaque value of one kind of handle: a console handle, a file, a
// window. Each kind is a type of its own, so one kind can't be passed where another
// is expected. UniqueAny<Traits>, in the spirit of WIL's unique_any, owns one value
// and closes it on every path; its traits name the value type, the value that holds
// nothing and how a value is closed:
//
//     struct Traits {
//         using Value = ...;
//         static Value Invalid() noexcept;          // what an empty owner holds
//         static bool IsValid(Value) noexcept;      // whether there is something to close
//         static void Close(Value) noexcept;
//     };
#include <cstdint>
#include <utility>

namespace platform {

template <class Kind>
struct Handle {
    std::intptr_t value = 0;

    constexpr bool operator==(const Handle& other) const noexcept { return value == other.value; }
    constexpr bool operator!=(const Handle& other) const noexcept { return value != other.value; }
};

template <class Traits>
class UniqueAny {
public:
    using Value = typename Traits::Value;

    UniqueAny() noexcept = default;
    explicit UniqueAny(Value value) noexcept : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Value get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::IsValid(value_); }
    Value release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    void reset(Value value = Traits::Invalid()) noexcept {
        const Value old = std::exchange(value_, value);
        if (Traits::IsValid(old)) Traits::Close(old);
    }
    // For calls that hand out a new value through a pointer.
    Value* put() noexcept {
        reset();
        return &value_;
    }

private:
    Value value_ = Traits::Invalid();
};

}  // namespace platform
