#include "setuplauncher/windows/runtime_locate.h"

#include <commdlg.h>

#include <string>

#include "launchcore/windows/JavaVMLauncher.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/base/text_conversion.h"
#include "launchcore/windows/jvm_search.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/messages/message_texts.h"

namespace {

constexpr DWORD kPathLimit = 6000;
constexpr int32_t kChooseJavaMessage = 20004;
// One pair, and the list ends with an empty name.
constexpr char kFilter[] = "Java EXE\0java.exe\0";

using GetOpenFileNameFunction = BOOL(WINAPI*)(OPENFILENAMEA*);

GetOpenFileNameFunction openFileDialog()
{
    static const GetOpenFileNameFunction bound =
        lateBound<GetOpenFileNameFunction>(L"comdlg32.dll", "GetOpenFileNameA");
    return bound;
}

} // namespace

bool locateRuntime(HWND owner)
{
    std::string file(kPathLimit, '\0');
    std::string title = narrowAnsi(messageText(kChooseJavaMessage));
    if (title.size() >= kPathLimit)
        title.resize(kPathLimit - 1);
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = kFilter;
    request.lpstrFile = file.data();
    request.nMaxFile = kPathLimit;
    request.lpstrTitle = title.c_str();
    request.Flags = OFN_FILEMUSTEXIST;

    const GetOpenFileNameFunction show = openFileDialog();
    if (!show) {
        logError(L"Could not load GetOpenFileNameA");
        return false;
    }
    if (!show(&request))
        return false;
    file.resize(file.find('\0'));
    logLine(L"located JRE: %S", file.c_str());
    if (!LoadDLL(true, file.c_str(), true))
        return false;
    registerLocatedJvm(file);
    return true;
}
