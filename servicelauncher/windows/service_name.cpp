#include "servicelauncher/windows/service_name.h"

namespace {
// The service manager limits names far below this; the bound keeps a pasted text in check.
constexpr size_t kServiceNameLimit = 5999;
std::wstring g_name;
} // namespace

void setServiceName(const std::wstring& name) { g_name = name.substr(0, kServiceNameLimit); }
const std::wstring& serviceName() { return g_name; }
