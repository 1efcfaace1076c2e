// The rule for the names of the members the tar reader creates: every name stays below the
// target directory, whatever the archive says.
#pragma once

#include <string_view>

// False for a name that is empty once its leading "./" pieces are dropped, begins with a
// separator ("\" or "/"), holds a ":" (drive letters, alternate data streams), or has a
// parent component: "..", or any other component of dots and spaces only with two or more
// dots, which Windows may reduce to "..".
bool isSafeMemberName(std::string_view name);

// True for a directory name that stands for the target itself: "." or "./" pieces only, as
// the first member of an archive made with "tar -C dir -czf file ." is. Such a member
// creates nothing.
bool namesTargetItself(std::string_view name);
