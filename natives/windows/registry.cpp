// The natives of the Registry class.
#include <windows.h>

#include <shlobj.h>

#include "natives/windows/native_export.h"
#include "natives/windows/shell_binding.h"

SLDK_NATIVE_EXPORT(void, Registry, changeNotifyAssociations0)(JNIEnv*, jobject)
{
    shellNotify(shellBinding(), SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
