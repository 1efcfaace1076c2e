// The rules of the service natives that need no Windows: the dependency list handed to the
// service manager, the account spellings it does not take, when an image path needs quotes,
// and the wait for a stopping service.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The in-band results of the service natives beside 0 and the Windows error codes.
inline constexpr int32_t kServiceManagerUnavailable = 5000;
inline constexpr int32_t kServiceStopTimedOut = 50001;
inline constexpr int32_t kServiceStopQueryFailed = 50002;

// The room for the dependency list, both terminating NULs included.
inline constexpr size_t kDependencyListUnits = 8192;

// The comma-separated names as the service manager's double-NUL-terminated list. Empty items
// are skipped, so that a doubled comma does not end the list early; no names give the empty
// list (two NULs), which removes every dependency. nullopt when the list does not fit.
std::optional<std::u16string> dependencyListForChange(std::u16string_view names);

// "NT AUTHORITY\System" and "NT AUTHORITY\LocalSystem" (exactly so) as "LocalSystem", which
// the service manager takes; any other account as it is.
std::u16string_view serviceAccount(std::u16string_view account);

// An unquoted path with a space is split by the service manager at the first space that
// leaves a program ("C:\Program Files\App\svc.exe" runs C:\Program.exe when one is there).
// Such a path needs quotes when the whole text names one file; whether it does only the
// file system can tell, as it may as well be a program followed by its arguments.
bool imagePathMayNeedQuotes(std::u16string_view path);
std::u16string quotedImagePath(std::u16string_view path);

// A service's state, its checkpoint and its wait hint, as the status query reports them.
struct ServiceProgress {
    uint32_t state = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};
inline constexpr uint32_t kServiceStoppedState = 1;

struct ServiceStopWaitLayer {
    std::function<bool(ServiceProgress&)> query; // false when the status query failed
    std::function<uint32_t()> now;               // milliseconds of a tick count that wraps
    std::function<void(uint32_t)> sleep;
};

// Waits after an accepted stop request until the service reports STOPPED: 0 then,
// kServiceStopTimedOut when its checkpoint stood still for longer than its wait hint and
// more than timeoutMs have passed since the wait began, kServiceStopQueryFailed when a
// status query failed.
int32_t waitForServiceStopped(const ServiceStopWaitLayer& layer, uint32_t timeoutMs);
