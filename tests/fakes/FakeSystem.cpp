// The version records, the user's regional forms and threads.
#include <algorithm>
#include <mutex>

#include "FakePlatform.h"
#include "platform/Locale.h"
#include "platform/SystemInfo.h"
#include "platform/Threads.h"
#include "platform/VersionRecords.h"

using fake::S;

namespace platform::versionrecords {

// Like the system, both refuse a record whose size field is not set, and leave the size field as it was.
std::int32_t GetVersionExA(OsVersionInfoA& record) {
    if (Read(record, field::Size) != OsVersionInfoASize || S().versionExResult == 0) return 0;
    std::copy(S().versionEx.begin() + 4, S().versionEx.end(), record.begin() + 4);
    return S().versionExResult;
}

std::int32_t RtlGetVersion(OsVersionInfoExW& record) {
    constexpr std::int32_t InvalidParameter = static_cast<std::int32_t>(0xC000000Du);
    const auto size = Read(record, field::Size);
    if (size != 276 && size != OsVersionInfoExWSize) return InvalidParameter;
    if (S().rtlStatus != 0) return S().rtlStatus;
    std::copy(S().rtlRecord.begin() + 4, S().rtlRecord.begin() + size, record.begin() + 4);
    return 0;
}

}  // namespace platform::versionrecords

namespace platform::locale {

std::wstring FormatDateTime(DateTime value) { return fake::FormatDate(value); }

// The fake user groups digits by threes with a comma.
std::wstring FormatCount(std::uint64_t count) {
    std::wstring digits = std::to_wstring(count);
    for (auto at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, L",");
    return digits;
}

DateTime UtcToLocal(DateTime utc) {
    constexpr double Year10000 = 2958466;  // the first day the system's conversion refuses
    if (utc.oleDate >= Year10000) Fail(static_cast<std::int32_t>(0x80070057u), L"Converting a date-time to local time");
    return {utc.oleDate + S().utcOffsetMinutes / 1440.0};
}

}  // namespace platform::locale

namespace platform::systeminfo {

std::uint16_t NativeMachine() { return S().nativeMachine; }

}  // namespace platform::systeminfo

// --- Threads: one at a time, on the test's own -------------------------------------------

namespace platform::threads {

// The fakes' state is the test's, shared by no thread: the workers run in turn, each to its end.
std::size_t Processors() { return 2; }

void Together(std::size_t count, const std::function<void(std::size_t)>& work) {
    for (std::size_t worker = 0; worker < count; ++worker) work(worker);
}

struct Lock::Section {
    std::mutex mutex;
};

Lock::Lock() : section_(std::make_unique<Section>()) {}
Lock::~Lock() = default;
void Lock::lock() { section_->mutex.lock(); }
void Lock::unlock() { section_->mutex.unlock(); }

}  // namespace platform::threads
