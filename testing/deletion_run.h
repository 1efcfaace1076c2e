// What the deferred-deletion tests write and read back: the deletion list the installer's
// Java side would write, the system's list of deletions pending for the next start, and the
// reboot marker values. Each test removes what its own run left there.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The lines as UTF-16LE with CRLF line ends, after a byte-order mark when asked.
bool writeDeletionList(const std::wstring& path, const std::vector<std::wstring>& lines, bool byteOrderMark = false);

// A list without semaphore: the mode, a question and a warning, the files, the directories.
std::vector<std::wstring> deletionListLines(const std::wstring& mode, const std::wstring& question,
                                            const std::vector<std::wstring>& files,
                                            const std::vector<std::wstring>& directories,
                                            const std::wstring& warning = L"");

// The paths whose deletion is pending for the next system start (the delete entries of
// the Session Manager's rename list, without their "\??\" prefix).
std::vector<std::wstring> pendingRebootDeletions();
bool isPendingRebootDeletion(const std::wstring& path);
// Takes the delete entries for paths under the folder out of that list again.
void forgetPendingRebootDeletions(const std::wstring& folder);

// "RebootCheckFile" under SOFTWARE\brenmark\sealdeck of the root; empty when absent.
std::wstring rebootCheckFile(HKEY root);
// Removes the value, and the key when nothing else is left in it.
void removeRebootCheckFile(HKEY root);

// A file opened without any sharing, so that nobody can delete it while the owner lives.
class LockedFile {
public:
    explicit LockedFile(const std::wstring& path);
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    ~LockedFile();
    bool locked() const { return handle_ != INVALID_HANDLE_VALUE; }
    void release();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
