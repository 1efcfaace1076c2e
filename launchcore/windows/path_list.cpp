#include "launchcore/windows/path_list.h"

#include "launchcore/text.h"
#include "launchcore/windows/process_paths.h"

std::string pathList(const std::string& list, const std::function<void(const std::string&)>& onElement)
{
    std::string joined;
    for (const std::string& element : splitSkippingEmpty(list, ';')) {
        const std::string resolved = resolvePath(element);
        if (onElement)
            onElement(resolved);
        if (!joined.empty())
            joined += ';';
        joined += resolved;
    }
    return joined;
}
