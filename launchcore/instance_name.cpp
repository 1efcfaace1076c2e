#include "launchcore/instance_name.h"

std::string instanceNameStem(bool globalNamespace, std::string_view identity)
{
    std::string stem = globalNamespace ? "Global\\" : "Local\\";
    stem.reserve(stem.size() + identity.size());
    for (const char c : identity)
        stem.push_back(c == '\\' || c == ' ' ? '_' : c);
    return stem;
}

std::string countedInstanceName(std::string_view stem, uint32_t counter)
{
    std::string name(stem);
    name += std::to_string(counter);
    return name;
}

uint32_t walkInstanceCounters(std::string_view stem, const std::function<bool(const std::string& name)>& nameTaken)
{
    uint32_t counter = 0;
    while (nameTaken(countedInstanceName(stem, counter)) && counter <= kLastRetriedInstanceCounter)
        ++counter;
    return counter;
}
