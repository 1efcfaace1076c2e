#include "launchcore/windows/base/registry.h"

#include <vector>

#include "launchcore/windows/base/handles.h"

bool readRegString(HKEY root, const std::string& subkey, const std::string& valueName, REGSAM access,
                   size_t capacity, std::string& value)
{
    if (capacity < 2)
        return false;
    unique_hkey key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, access, key.put()) != ERROR_SUCCESS)
        return false;
    return readRegStringValue(key.get(), valueName, capacity, value);
}

bool readRegStringValue(HKEY key, const std::string& valueName, size_t capacity, std::string& value)
{
    if (capacity < 2)
        return false;
    // One byte is kept back for the terminator: the stored data need not carry its own, and
    // data that fills the whole buffer would otherwise be read without one.
    std::vector<char> buffer(capacity, '\0');
    DWORD size = static_cast<DWORD>(capacity - 1);
    DWORD type = 0;
    const LONG status =
        RegQueryValueExA(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status != ERROR_SUCCESS || size > capacity - 1)
        return false;
    buffer[size] = '\0';
    value.assign(buffer.data());
    return true;
}
