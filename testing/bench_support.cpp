#include "testing/bench_support.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

long long logTimeOf(const std::string& log, const std::string& text)
{
    size_t at = 0;
    while ((at = log.find('[', at)) != std::string::npos) {
        const size_t close = log.find("] ", at);
        if (close == std::string::npos)
            break;
        if (log.compare(close + 2, text.size(), text) == 0) {
            unsigned seconds = 0;
            unsigned millis = 0;
            if (std::sscanf(log.c_str() + at, "[%u:%u]", &seconds, &millis) == 2)
                return seconds * 1000LL + millis;
        }
        at = close;
    }
    return -1;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

namespace {

long long counterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

} // namespace

Stopwatch::Stopwatch() : start_(counterNow()) {}

double Stopwatch::elapsedMs() const
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counterNow() - start_) / static_cast<double>(frequency.QuadPart);
}
