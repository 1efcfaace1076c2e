// Enabling or disabling one privilege of the process token, for the natives that need the
// backup, restore or shutdown privilege.
#pragma once

// True only when the privilege is now as asked: a failed token open, name lookup or
// adjustment is a failure, and so is a privilege the account does not hold (the adjustment
// then succeeds with ERROR_NOT_ALL_ASSIGNED). The token is closed on every path.
bool switchPrivilege(const wchar_t* name, bool enable);
