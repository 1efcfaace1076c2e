#include "launchcore/windows/appended_data.h"

#include <utility>

#include "launchcore/appended_data_format.h"
#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/launcher_file.h"
#include "launchcore/windows/locale_detection.h"
#include "launchcore/windows/messages/error_display.h"
#include "launchcore/windows/state/launcher_state.h"

namespace {
int64_t g_payloadStart = 0;
} // namespace

int loadAppendedData()
{
    unique_file file = openLauncherFileOrExit();
    seekAppendedData(file.get());
    AppendedRecord record;
    if (const auto error = readAppendedRecord(file.get(), record)) {
        // What was read before the damage still captions the error box.
        installConfiguration(std::move(record.config), std::move(record.messages));
        failedAppendedDataRead(*error);
    }

    const std::string locale = detectLocale(argumentVector());
    setLocaleCode(locale);
    std::map<int32_t, std::u16string> messages = messagesForLocale(record, locale);
    installConfiguration(std::move(record.config), std::move(messages));
    g_payloadStart = record.payloadStart;
    file.reset();

    const int kind = configInt(config_entry::kApplicationKind);
    if (kind != 1 && kind != 5)
        disableGuiErrorMode();
    return kind;
}

int64_t payloadStartPosition() { return g_payloadStart; }
