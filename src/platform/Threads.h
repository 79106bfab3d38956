#pragma once
// Work on more than one thread: a number of workers run together, and a lock for the
// data they share. The C++ runtime this program is built with has no threads of its
// own (its thread model is Windows' own, without std::thread or std::mutex).
#include <cstddef>
#include <functional>
#include <memory>

namespace platform::threads {

// How many threads this machine runs at once (its logical processors); at least 1.
std::size_t Processors();

// `work(0)` to `work(count - 1)` together: each on a thread of its own, the first on
// the caller's. It returns once all have ended; where one threw, it throws the first
// exception again then. A thread that cannot be started leaves its work to the others:
// `work` is handed out in turns, not by worker.
void Together(std::size_t count, const std::function<void(std::size_t worker)>& work);

// A lock for data threads share (a critical section), for std::lock_guard.
class Lock {
public:
    Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    Lock(Lock&&) = delete;
    Lock& operator=(Lock&&) = delete;
    ~Lock();
    void lock();
    void unlock();

private:
    struct Section;
    std::unique_ptr<Section> section_;
};

}  // namespace platform::threads
