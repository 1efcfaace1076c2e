// Files and folders for tests: whole-file reads and writes, removing a tree, and a fresh
// folder per test below the temporary directory.
#pragma once

#include <string>

// The whole content; empty when the file cannot be read.
std::string readTextFile(const std::string& path);
std::string readTextFile(const std::wstring& path);
// Creates or replaces the file with exactly these bytes.
bool writeTextFile(const std::string& path, const std::string& bytes);
bool writeTextFile(const std::wstring& path, const std::string& bytes);

bool fileOrFolderExists(const std::string& path);
void removeDirectoryTree(const std::string& path);

// A fresh, empty folder "<temp>\<prefix>_<pid>_<n>", removed with everything in it when the
// owner goes away.
class TemporaryFolder {
public:
    explicit TemporaryFolder(const std::string& prefix);
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};
