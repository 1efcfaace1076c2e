// The native of the Win32Exec class: a program started and left to run on its own.
#include <windows.h>

#include <optional>
#include <string>

#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/text_conversion.h"
#include "natives/launch_command_line.h"
#include "natives/windows/native_export.h"

namespace {

bool isExistingFile(std::u16string_view path)
{
    const std::wstring text = toWide(path);
    const DWORD attributes = GetFileAttributesW(text.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

SLDK_NATIVE_EXPORT(jint, Win32Exec, launch0)(JNIEnv* env, jobject, jstring application, jstring commandLine)
{
    const JavaText applicationName(env, application);
    const JavaText given(env, commandLine);
    if (!applicationName.ok() || !given.ok())
        return ERROR_NOT_ENOUGH_MEMORY;
    // Process creation may write into the command line, so it gets its own copy.
    std::optional<std::wstring> line;
    if (!given.isNull())
        line = toWide(applicationName.isNull() ? launchCommandLine(given.view(), isExistingFile)
                                               : std::u16string(given.view()));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(applicationName.wide(), line ? line->data() : nullptr, nullptr, nullptr, FALSE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started)) {
        const DWORD error = GetLastError();
        return static_cast<jint>(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
    }
    // Nobody waits for the program, so its handles are not kept.
    unique_handle process(started.hProcess);
    unique_handle thread(started.hThread);
    return 0;
}
