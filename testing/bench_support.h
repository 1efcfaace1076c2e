// What the benchmarks share: times read from a launcher's log, a median, a stopwatch.
#pragma once

#include <string>
#include <vector>

// The time of the first log line that begins with text ("[s:ms] text"), in milliseconds
// since the log started; -1 when there is none.
long long logTimeOf(const std::string& log, const std::string& text);

double medianOf(std::vector<double> values);

// Milliseconds since the stopwatch was made.
class Stopwatch {
public:
    Stopwatch();
    double elapsedMs() const;

private:
    long long start_ = 0;
};
