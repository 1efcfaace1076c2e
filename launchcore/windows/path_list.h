// ";"-separated lists of paths in configuration entries.
#pragma once

#include <functional>
#include <string>

// Splits an 8-bit ";"-list (empty elements skipped), resolves every element against the
// launcher directory, calls onElement with each, and joins the resolved elements with ";".
std::string pathList(const std::string& list, const std::function<void(const std::string&)>& onElement);
