// The download's printf-format messages, checked before use.
#pragma once

#include <cstdint>
#include <string>

// Message 20005, 20006 or 20008 when it holds exactly the conversions its arguments fill;
// otherwise the mismatch is logged and the English text is used.
std::wstring checkedDownloadFormat(int32_t messageId);
