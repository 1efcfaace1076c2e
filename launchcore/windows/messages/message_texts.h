// The texts the launcher shows: the messages of the appended message table (in the chosen
// locale) and configuration entries widened for display. The tables themselves are in
// launchcore/configuration.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Entry id widened from the file-API code page, at most size units including the
// terminator; returns the units copied.
size_t configStringWide(int32_t id, wchar_t* buffer, size_t size);
std::wstring configStringWide(int32_t id);

std::wstring messageText(int32_t id);
// messageText, or the widened configuration entry of the same id when the message is empty.
std::wstring messageOrConfigText(int32_t id);
// messageOrConfigText with the first "{0}" replaced by the argument (when given).
std::wstring formatMessage(int32_t id, const wchar_t* argument = nullptr);
std::wstring formatMessage(int32_t id, const char* argument);
