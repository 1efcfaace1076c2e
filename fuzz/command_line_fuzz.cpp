// libFuzzer target over the launcher's command-line splitter, which reads the process
// command line and every argument or option text of the configuration. Besides the
// sanitizers it checks that what it splits can be written back: quoting each argument the
// way the grammar allows and splitting again gives the same arguments.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "launchcore/command_line.h"

namespace {

// An argument the splitter made holds at most one kind of quote (the quote that enclosed
// its text cannot be in it, and text before a quote holds none), so one of the two quotes
// always encloses it.
std::u16string quoted(const std::u16string& argument)
{
    const bool plain = !argument.empty() && argument.find_first_of(u" \"'") == std::u16string::npos;
    if (plain)
        return argument;
    check(argument.find(u'"') == std::u16string::npos || argument.find(u'\'') == std::u16string::npos);
    const char16_t quote = argument.find(u'"') == std::u16string::npos ? u'"' : u'\'';
    return quote + argument + quote;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));

    std::vector<std::u16string> arguments;
    splitCommandLine(text, arguments);
    size_t units = 0;
    for (const std::u16string& argument : arguments)
        units += argument.size();
    check(units <= text.size());

    std::u16string written;
    for (const std::u16string& argument : arguments) {
        if (!written.empty())
            written.push_back(u' ');
        written += quoted(argument);
    }
    std::vector<std::u16string> again;
    splitCommandLine(written, again);
    check(again == arguments);
    return 0;
}
