// libFuzzer target over the REG_MULTI_SZ splitter: any program of the user can store such a
// value where the installer reads it. Besides the sanitizers it checks that the strings are
// exactly the stored units between the NULs, in order, and nothing from beyond the data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "natives/multi_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2)
        units.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    std::u16string joined;
    for (const std::u16string& text : multiStrings(data, size)) {
        check(text.find(u'\0') == std::u16string::npos);
        joined += text;
        joined.push_back(u'\0');
    }
    // Written back with their terminators, the strings are the stored units; only the
    // terminator of a last string stored without one is new.
    check(joined.size() <= units.size() + 1);
    check(units.compare(0, joined.size() - (joined.size() > units.size() ? 1 : 0), joined, 0,
                        joined.size() - (joined.size() > units.size() ? 1 : 0)) == 0);
    return 0;
}
