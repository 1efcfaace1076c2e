#include "launchcore/windows/locale_detection.h"

// The locale table arrives later; until then every launcher runs in English.
std::string detectLocale(const std::vector<std::wstring>&) { return "en"; }
