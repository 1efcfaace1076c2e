// Stand-in for the service launcher's helper library ".sealdeck\sldkinst.dll". Its
// registerNatives appends what it was given to the file named by SLDK_SLDKINST_LOG and
// returns the byte in SLDK_SLDKINST_RESULT (1 when unset); a failing registration also
// reports one line through the launcher's error reporter, as a real helper would.
#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string environmentValue(const char* name)
{
    std::string value(256, '\0');
    for (;;) {
        const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
        if (length == 0)
            return {};
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        value.resize(length);
    }
}

} // namespace

extern "C" __declspec(dllexport) unsigned char registerNatives(JNIEnv* env, HMODULE module,
                                                               void (*report)(const wchar_t*, ...))
{
    const std::string result = environmentValue("SLDK_SLDKINST_RESULT");
    const unsigned char answer = result.empty() ? 1 : static_cast<unsigned char>(std::atoi(result.c_str()));
    const std::string logFile = environmentValue("SLDK_SLDKINST_LOG");
    if (!logFile.empty()) {
        if (FILE* log = std::fopen(logFile.c_str(), "a")) {
            std::fprintf(log, "registerNatives env=%s module=%s own=%s report=%s result=%u\n",
                         env ? "set" : "null", module ? "set" : "null",
                         module == GetModuleHandleA("sldkinst.dll") ? "yes" : "no", report ? "set" : "null",
                         static_cast<unsigned>(answer));
            std::fclose(log);
        }
    }
    if (answer == 0 && report)
        report(L"sldkinst stand-in: registration refused (%d)", 0);
    return answer;
}
