// Names of the instance semaphore. Every launcher names one after its own executable, so
// that copies of the same file can find each other and the Java side can be told the name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// A counter whose name is taken still moves on to the next one up to this value; a name
// taken after it is kept as it is.
inline constexpr uint32_t kLastRetriedInstanceCounter = 99999;

// "Global\" or "Local\", then the identity with every backslash and blank replaced by "_"
// (a backslash would otherwise open a namespace of its own).
std::string instanceNameStem(bool globalNamespace, std::string_view identity);

// The stem followed by the counter in decimal.
std::string countedInstanceName(std::string_view stem, uint32_t counter);

// Offers stem0, stem1, ... to nameTaken, which creates the object and reports whether the
// name already existed. Stops at the first name that was not taken (or whose creation
// failed) and at a taken name whose counter is past kLastRetriedInstanceCounter. Returns
// the counter it stopped at.
uint32_t walkInstanceCounters(std::string_view stem, const std::function<bool(const std::string& name)>& nameTaken);
