// Runtime archives for the download tests: a folder tree as a gzip-compressed tar, the way
// a runtime is published. The deflate data is stored, not compressed, so the helper needs
// no compressor.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Members as (name with "/", bytes); a name that ends in "/" is a directory.
std::string tarGz(const std::vector<std::pair<std::string, std::string>>& members);

// Every folder and file below directory, folders before their content.
std::vector<std::pair<std::string, std::string>> treeMembers(const std::wstring& directory);
