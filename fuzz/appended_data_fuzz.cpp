// libFuzzer target over the appended-data reader: the PE walk, the record parser, locale
// blocks and the included-file list, all on untrusted bytes. Besides the sanitizers it
// checks that nothing the reader reports lies outside the input; -malloc_limit_mb in the
// test catches allocations sized from a crafted length.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "launchcore/appended_data_format.h"
#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryByteSource source(data, size);
    const auto end = static_cast<int64_t>(size);

    // A whole executable, or else the bytes taken as appended data on their own, so that
    // the parser is reached without first building a valid PE image.
    int64_t start = 0;
    if (seekAppendedData(source, start)) {
        check(source.seek(0));
        start = 0;
    }
    check(start >= 0 && start <= end && source.position() == start);

    AppendedRecord record;
    if (readAppendedRecord(source, record))
        return 0;
    check(record.appendedStart == start);
    check(record.payloadStart >= start + 32 && record.payloadStart <= end);

    for (const char* locale : {"de_AT", "de", "", "en_US"}) {
        const auto messages = messagesForLocale(record, locale);
        check(messages.size() >= record.messages.size());
    }

    std::vector<IncludedFileInfo> files;
    int64_t unextracted = -1;
    if (!listIncludedFiles(source, record, files, unextracted)) {
        int64_t previous = record.payloadStart;
        for (const IncludedFileInfo& file : files) {
            check(file.offset == previous + 8 && file.length >= 0 && file.offset + file.length <= end);
            previous = file.offset + file.length;
        }
        check(unextracted == previous);
    }

    // The lookups over what was read, as the launcher performs them after loading.
    installConfiguration(record.config, messagesForLocale(record, "de_AT"));
    char small[8];
    check(configString(config_entry::kIncludedFileList, small, sizeof small) < sizeof small);
    (void)configInt(config_entry::kApplicationKind);
    (void)configInt(config_entry::kIncludedFileCount);
    (void)messageValue(1000);
    installConfiguration({}, {});
    return 0;
}
