// The fuzz targets' invariant check: a broken invariant is a finding, reported by the fuzzer
// like a crash.
#pragma once

inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}
