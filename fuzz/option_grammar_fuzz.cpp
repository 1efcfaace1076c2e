// libFuzzer target over the option-file grammar: ".vmoptions" lines (the file lies beside
// the launcher, where anyone who can write there controls it), their classification
// (includes and class-path lines), the word rule of option texts and the module options.
// Besides the sanitizers it checks that every rule only ever keeps or joins what it was given.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "launchcore/command_line.h"
#include "launchcore/vm_option_grammar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> options;
    std::vector<std::u16string> words;
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find('\n', start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view raw = input.substr(start, end - start);
        start = end + 1;
        const std::optional<std::string> line = vmOptionsFileLine(raw);
        if (!line)
            continue;
        check(!line->empty() && line->front() != '#' && line->front() != ' ' && line->back() != ' ');
        check(raw.find(*line) != std::string_view::npos);
        const std::u16string wide(line->begin(), line->end());
        const OptionLine parsed = classifyOptionLine(wide);
        check(parsed.text.size() <= wide.size());
        check(wide.compare(wide.size() - parsed.text.size(), parsed.text.size(), parsed.text) == 0);
        check(parsed.kind == OptionLineKind::Option || parsed.text.size() < wide.size());
        options.push_back(*line);
        splitCommandLine(wide, words);
    }

    size_t wordUnits = 0;
    for (const std::u16string& word : words)
        wordUnits += word.size();
    size_t lineUnits = 0;
    const std::vector<std::u16string> lines = optionLinesFromWords(words);
    check(lines.size() <= words.size());
    for (const std::u16string& line : lines)
        lineUnits += line.size();
    // Joining an include with its file adds one blank per join.
    check(lineUnits == wordUnits + (words.size() - lines.size()));

    const size_t before = options.size();
    size_t bytesBefore = 0;
    for (const std::string& option : options)
        bytesBefore += option.size();
    mergeModuleOptions(options);
    size_t bytesAfter = 0;
    for (const std::string& option : options)
        bytesAfter += option.size();
    check(options.size() <= before);
    check(bytesAfter == bytesBefore + (before - options.size()));
    return 0;
}
