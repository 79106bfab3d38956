#pragma once
// The one error type of the program: a failure that ends the run. It carries the
// error number (an HRESULT or Win32 error code) and what failed. Fail() raises it;
// only the entry point catches it.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

class RunError : public std::runtime_error {
public:
    RunError(std::int32_t number, std::wstring description)
        : std::runtime_error("Velmora run error"), number_(number), description_(std::move(description)) {}

    std::int32_t Number() const noexcept { return number_; }
    const std::wstring& Description() const noexcept { return description_; }

private:
    std::int32_t number_;
    std::wstring description_;
};

[[noreturn]] inline void Fail(std::int32_t number, std::wstring description) {
    throw RunError(number, std::move(description));
}

// Error numbers the program raises itself, as the automation layer numbers them.
namespace errors {
constexpr std::int32_t TypeMismatch = static_cast<std::int32_t>(0x80020005u);  // DISP_E_TYPEMISMATCH
constexpr std::int32_t Overflow = static_cast<std::int32_t>(0x8002000Au);      // DISP_E_OVERFLOW
constexpr std::int32_t UnknownName = static_cast<std::int32_t>(0x80020006u);   // DISP_E_UNKNOWNNAME
constexpr std::int32_t BadIndex = static_cast<std::int32_t>(0x8002000Bu);      // DISP_E_BADINDEX
constexpr std::int32_t PathNotFound = static_cast<std::int32_t>(0x80070003u);  // HRESULT of ERROR_PATH_NOT_FOUND
constexpr std::int32_t Timeout = static_cast<std::int32_t>(0x800705B4u);       // HRESULT of ERROR_TIMEOUT
constexpr std::int32_t Unexpected = static_cast<std::int32_t>(0x8000FFFFu);    // E_UNEXPECTED
constexpr std::int32_t Bounds = static_cast<std::int32_t>(0x8000000Bu);        // E_BOUNDS: past a bound of the check's
}  // namespace errors

}  // namespace platform
