// libFuzzer target over the version texts: the output of "java -version" (any program in a
// runtime folder can print it) and the version rules that order and bound what it gives.
// Besides the sanitizers it checks that the order is strict and that a version lies within
// itself as both bounds.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "launchcore/java_version_text.h"
#include "launchcore/version_rules.h"

namespace {

void checkOrder(std::string_view a, std::string_view b)
{
    check(!versionGreater(a, a));
    check(!(versionGreater(a, b) && versionGreater(b, a)));
    const VersionVector version = parseVersion(a);
    check(version.size() <= a.size());
    for (bool prefixMode : {false, true}) {
        check(versionWithinBound(version, version, false, prefixMode));
        check(versionWithinBound(version, version, true, prefixMode));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> version = versionFromJavaOutput(input);
    if (version) {
        check(!version->empty() && version->size() < size);
        isPreReleaseVersion(*version);
        isUsableCachedVersion(*version);
    }
    // Two versions to compare: the halves around the first NUL, or the parsed text and the input.
    const size_t split = input.find('\0');
    if (split != std::string_view::npos)
        checkOrder(input.substr(0, split), input.substr(split + 1));
    else
        checkOrder(version ? std::string_view(*version) : input, input);
    return 0;
}
