// The user's locale code ("de_CH", "en", ...), from the program arguments and the system.
#pragma once

#include <string>
#include <vector>

std::string detectLocale(const std::vector<std::wstring>& arguments);
