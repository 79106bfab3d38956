#include "platform/Threads.h"

#include <windows.h>

#include <exception>
#include <vector>

#include "platform/win32/Ownership.h"

namespace platform::threads {

namespace {

struct Worker {
    const std::function<void(std::size_t)>* work;
    std::size_t index;
    std::exception_ptr failure;
};

DWORD WINAPI RunWorker(void* parameter) {
    auto& worker = *static_cast<Worker*>(parameter);
    try {
        (*worker.work)(worker.index);
    } catch (...) {
        worker.failure = std::current_exception();
    }
    return 0;
}

}  // namespace

std::size_t Processors() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

void Together(std::size_t count, const std::function<void(std::size_t)>& work) {
    std::vector<Worker> workers(count, Worker{&work, 0, nullptr});
    std::vector<win32::UniqueKernelHandle> threads;
    for (std::size_t i = 1; i < count; ++i) {
        workers[i].index = i;
        win32::UniqueKernelHandle thread(CreateThread(nullptr, 0, &RunWorker, &workers[i], 0, nullptr));
        if (thread) threads.push_back(std::move(thread));
    }
    RunWorker(&workers[0]);
    for (const auto& thread : threads) WaitForSingleObject(thread.get(), INFINITE);
    for (const auto& worker : workers) {
        if (worker.failure) std::rethrow_exception(worker.failure);
    }
}

struct Lock::Section {
    CRITICAL_SECTION section;
};

Lock::Lock() : section_(std::make_unique<Section>()) { InitializeCriticalSection(&section_->section); }
Lock::~Lock() { DeleteCriticalSection(&section_->section); }
void Lock::lock() { EnterCriticalSection(&section_->section); }
void Lock::unlock() { LeaveCriticalSection(&section_->section); }

}  // namespace platform::threads
