#include "natives/service_rules.h"

#include "launchcore/text.h"

namespace {

constexpr uint32_t kStopPollMs = 500;

} // namespace

std::optional<std::u16string> dependencyListForChange(std::u16string_view names)
{
    std::u16string list;
    for (const std::u16string& name : splitSkippingEmpty(names, u','))
        list.append(name).push_back(u'\0');
    if (list.empty())
        list.push_back(u'\0');
    list.push_back(u'\0');
    if (list.size() > kDependencyListUnits)
        return std::nullopt;
    return list;
}

std::u16string_view serviceAccount(std::u16string_view account)
{
    if (account == u"NT AUTHORITY\\System" || account == u"NT AUTHORITY\\LocalSystem")
        return u"LocalSystem";
    return account;
}

bool imagePathMayNeedQuotes(std::u16string_view path)
{
    return !path.empty() && path.front() != u'"' && path.find(u' ') != std::u16string_view::npos;
}

std::u16string quotedImagePath(std::u16string_view path)
{
    std::u16string quoted;
    quoted.reserve(path.size() + 2);
    quoted.push_back(u'"');
    quoted.append(path);
    quoted.push_back(u'"');
    return quoted;
}

int32_t waitForServiceStopped(const ServiceStopWaitLayer& layer, uint32_t timeoutMs)
{
    ServiceProgress progress;
    if (!layer.query(progress))
        return kServiceStopQueryFailed;
    const uint32_t start = layer.now();
    uint32_t progressed = start;
    uint32_t checkPoint = progress.checkPoint;
    while (progress.state != kServiceStoppedState) {
        layer.sleep(kStopPollMs);
        if (!layer.query(progress))
            return kServiceStopQueryFailed;
        const uint32_t now = layer.now();
        const bool grew = progress.checkPoint > checkPoint;
        checkPoint = progress.checkPoint;
        if (grew) {
            progressed = now;
            continue;
        }
        // Unsigned differences stay right across the tick count's wrap.
        if (now - progressed > progress.waitHint && now - start > timeoutMs)
            return progress.state == kServiceStoppedState ? 0 : kServiceStopTimedOut;
    }
    return 0;
}
