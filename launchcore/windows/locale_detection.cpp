#include "launchcore/windows/locale_detection.h"

#include <windows.h>

#include "launchcore/locale_table.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/text_conversion.h"

namespace {

using GetUserDefaultUILanguageFn = LANGID(WINAPI*)();

// Bound at run time like the launcher's other optional APIs; where it is missing, the
// format locale decides.
bool displayLanguage(LANGID& languageId)
{
    const auto query = lateBound<GetUserDefaultUILanguageFn>(L"kernel32.dll", "GetUserDefaultUILanguage");
    if (query == nullptr)
        return false;
    languageId = query();
    return true;
}

} // namespace

std::string detectLocale(const std::vector<std::wstring>& arguments)
{
    LANGID languageId = LANGIDFROMLCID(GetUserDefaultLCID());

    // The launcher always hands over its argument vector (element 0 is the program), so the
    // argument rule always runs; Java's own switch of the same name decides which locale wins.
    std::vector<std::u16string> texts;
    texts.reserve(arguments.size());
    for (const std::wstring& argument : arguments)
        texts.push_back(toU16(argument));
    const bool followFormat = formatAsDefault(texts);
    logLine(L"sun.locale.formatasdefault is %S", followFormat ? "true" : "false");

    if (!followFormat)
        displayLanguage(languageId);

    std::string locale(localeCodeForLanguageId(languageId));
    logLine(L"language/country is %S", locale.c_str());
    return locale;
}
