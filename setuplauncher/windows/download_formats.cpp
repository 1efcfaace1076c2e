#include "setuplauncher/windows/download_formats.h"

#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/message_texts.h"
#include "setuplauncher/download_texts.h"

std::wstring checkedDownloadFormat(int32_t messageId)
{
    std::wstring text = messageText(messageId);
    if (holdsDownloadFormat(toU16(text), downloadFormatOf(messageId)))
        return text;
    logError(L"message %d does not hold the expected format conversions, using the default: %s", messageId,
             text.c_str());
    return toWide(defaultDownloadText(messageId));
}
