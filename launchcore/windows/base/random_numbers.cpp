#include "launchcore/windows/base/random_numbers.h"

#include <windows.h>

#include <ctime>
#include <mutex>

namespace {

// The runtime library's rand() keeps its state per thread, and reseeding on every call
// repeats the same number within a second. One generator for the process, seeded once with
// the same formula and stepping like the runtime library's, keeps the first number as before
// while later calls differ.
class ProcessRandom {
public:
    int next()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!seeded_) {
            state_ = static_cast<unsigned>(GetCurrentProcessId()) * static_cast<unsigned>(std::time(nullptr));
            seeded_ = true;
        }
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7fff);
    }

private:
    std::mutex mutex_;
    unsigned state_ = 0;
    bool seeded_ = false;
};

} // namespace

int nextRandom()
{
    static ProcessRandom random;
    return random.next();
}
