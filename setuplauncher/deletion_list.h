// The list of files and directories that the installer could not delete while it ran, as
// its Java side writes it for the "__sldk_windel" run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What the deferred deletion acts on. Every string is free of NUL and at most 32767 units,
// so its c_str() names exactly the object it holds.
struct DeletionList {
    // The semaphore of the process that wrote the list; empty: nothing to wait for.
    std::u16string semaphoreName;
    // Mode "force_reboot" sets both, "reboot_deletion" only rebootDeletion.
    bool rebootDeletion = false;
    bool forceReboot = false;
    // At most 8191 units each (the dialog's buffer); empty when the list gives 5 units or fewer.
    std::u16string rebootQuestion;
    std::u16string rebootWarning;
    std::vector<std::u16string> files;
    std::vector<std::u16string> directories;
};

// The list file's bytes: UTF-16LE, an optional byte-order mark, lines ending in LF or CRLF.
// Any bytes give a result. An empty line advances the section: the semaphore name, then
// the mode line with the question and the warning (each closed by a line that begins with
// "EOSMARKER"; empty lines inside belong to the text), then files up to the next empty
// line, then directories. A list that ends inside a text has no files or directories.
// A line longer than 32767 units or holding a NUL is no usable name or text: it keeps its
// place in the sections but is left out.
DeletionList parseDeletionList(const unsigned char* data, std::size_t size);
