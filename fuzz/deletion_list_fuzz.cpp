// libFuzzer target over the deletion list parser, whose input any process that can write
// the list file controls. Besides the sanitizers it checks the bounds the deferred deletion
// relies on: no name or text that could overrun a buffer or be cut at a NUL.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "setuplauncher/deletion_list.h"

namespace {

void checkName(const std::u16string& name)
{
    check(!name.empty() && name.size() <= 32767 && name.find(u'\0') == std::u16string::npos);
}

void checkText(const std::u16string& text)
{
    check(text.empty() || (text.size() > 5 && text.size() <= 8191));
    check(text.find(u'\0') == std::u16string::npos);
    check(text.empty() || text.back() < 0xD800 || text.back() > 0xDBFF || text.size() < 8191);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const DeletionList list = parseDeletionList(data, size);
    if (!list.semaphoreName.empty())
        checkName(list.semaphoreName);
    check(!list.forceReboot || list.rebootDeletion);
    checkText(list.rebootQuestion);
    checkText(list.rebootWarning);
    std::size_t units = list.semaphoreName.size() + list.rebootQuestion.size() + list.rebootWarning.size();
    for (const std::u16string& file : list.files) {
        checkName(file);
        units += file.size();
    }
    for (const std::u16string& directory : list.directories) {
        checkName(directory);
        units += directory.size();
    }
    // Every kept unit comes from the input; only the "\n" joining text lines is added, and
    // each one replaces a line end.
    check(units <= size / 2);
    return 0;
}
