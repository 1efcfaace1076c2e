#include "launchcore/windows/messages/message_texts.h"

#include <algorithm>
#include <cstring>

#include "launchcore/configuration.h"
#include "launchcore/windows/base/text_conversion.h"

size_t configStringWide(int32_t id, wchar_t* buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    const std::wstring wide = configStringWide(id);
    const size_t count = std::min(wide.size(), size - 1);
    std::memcpy(buffer, wide.data(), count * sizeof(wchar_t));
    buffer[count] = L'\0';
    return count;
}

std::wstring configStringWide(int32_t id) { return widenAnsi(configValue(id)); }

std::wstring messageText(int32_t id) { return toWide(messageValue(id)); }

std::wstring messageOrConfigText(int32_t id)
{
    std::wstring text = messageText(id);
    if (text.empty())
        text = configStringWide(id);
    return text;
}

std::wstring formatMessage(int32_t id, const wchar_t* argument)
{
    std::wstring text = messageOrConfigText(id);
    if (!argument)
        return text;
    return toWide(replaceFirstPlaceholder(toU16(text), toU16(argument)));
}

std::wstring formatMessage(int32_t id, const char* argument)
{
    if (!argument)
        return formatMessage(id, static_cast<const wchar_t*>(nullptr));
    const std::wstring wide = widenAnsi(argument);
    return formatMessage(id, wide.c_str());
}
