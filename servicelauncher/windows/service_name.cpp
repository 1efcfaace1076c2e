#include "servicelauncher/windows/service_runtime.h"

std::wstring& serviceName()
{
    static std::wstring name;
    return name;
}
