#include "setuplauncher/windows/wininet_binding.h"

#include <mutex>

#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/log/diagnostic_log.h"

namespace {

constexpr const wchar_t* kWininet = L"wininet.dll";

WininetFunctions g_functions{};
bool g_bound = false;

template <typename Function>
bool bindOne(Function& target, const char* name)
{
    target = lateBound<Function>(kWininet, name);
    return target != nullptr;
}

bool bindAll()
{
    if (!systemLibrary(kWininet)) {
        logError(L"Could not load wininet.dll");
        return false;
    }
    // Every lookup runs, so the log shows the whole binding at once.
    bool complete = bindOne(g_functions.openUrl, "InternetOpenUrlW");
    complete = bindOne(g_functions.open, "InternetOpenW") && complete;
    complete = bindOne(g_functions.queryInfo, "HttpQueryInfoW") && complete;
    complete = bindOne(g_functions.attemptConnect, "InternetAttemptConnect") && complete;
    complete = bindOne(g_functions.closeHandle, "InternetCloseHandle") && complete;
    complete = bindOne(g_functions.readFile, "InternetReadFile") && complete;
    bindOne(g_functions.setOption, "InternetSetOptionW");
    if (!complete)
        logError(L"Could not load wininet functions");
    return complete;
}

} // namespace

bool bindWininet()
{
    static std::once_flag once;
    std::call_once(once, [] { g_bound = bindAll(); });
    return g_bound;
}

const WininetFunctions& wininet() { return g_functions; }
