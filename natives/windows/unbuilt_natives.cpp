// Every native whose family is not built yet, in one place. Each one exists, so that the
// export table and the registration are complete, and answers with its family's failure
// value without doing anything: false, null, an error code, or an error text. A family's
// source takes its natives over from here when it is built.
//
// Where a family reports Windows error codes, the code is ERROR_CALL_NOT_IMPLEMENTED.
#include <windows.h>

#include "natives/windows/native_export.h"

namespace {

constexpr jint kNotBuilt = ERROR_CALL_NOT_IMPLEMENTED;

// The error texts of the families that report in a string: a marker and the code.
jstring errorText(JNIEnv* env, const wchar_t* marker)
{
    return newJavaString(env, std::wstring(marker) + std::to_wstring(kNotBuilt));
}

} // namespace

#define SLDK_NOT_BUILT_YET(ReturnType, Class, method) SLDK_NATIVE_EXPORT(ReturnType, Class, method)

// --- ACLHandling, FileVersion, FolderInfo ---------------------------------------------------
SLDK_NOT_BUILT_YET(jboolean, ACLHandling, addACE)(JNIEnv*, jobject, jstring, jboolean, jboolean, jboolean, jboolean,
                                                  jboolean, jint, jstring)
{
    return JNI_FALSE;
}
// 3: the version of either file could not be read.
SLDK_NOT_BUILT_YET(jint, FileVersion, compare0)(JNIEnv*, jobject, jstring, jstring) { return 3; }
SLDK_NOT_BUILT_YET(jstring, FolderInfo, getSpecialFolder0)(JNIEnv*, jobject, jint, jboolean) { return nullptr; }
SLDK_NOT_BUILT_YET(jstring, FolderInfo, getPathFromRegistry0)(JNIEnv*, jobject, jstring) { return nullptr; }
SLDK_NOT_BUILT_YET(jstring, FolderInfo, getWindowsDirectory0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(jstring, FolderInfo, getSystemDirectory0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(jint, FolderInfo, getDriveType0)(JNIEnv*, jobject, jstring) { return DRIVE_UNKNOWN; }
// Both answer with the path as given when they cannot do better.
SLDK_NOT_BUILT_YET(jstring, FolderInfo, getShortPathName0)(JNIEnv*, jobject, jstring path) { return path; }
SLDK_NOT_BUILT_YET(jstring, FolderInfo, getUniversalPathName0)(JNIEnv*, jobject, jstring path) { return path; }

// --- Misc, Win32Exec, Win32Handle -----------------------------------------------------------
SLDK_NOT_BUILT_YET(void, Misc, reboot0)(JNIEnv*, jobject) {}
SLDK_NOT_BUILT_YET(jobjectArray, Misc, getRunningModules0)(JNIEnv*, jobject, jboolean) { return nullptr; }
SLDK_NOT_BUILT_YET(jobjectArray, Misc, getEnvVarPairs0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(void, Misc, broadcastSettingChange0)(JNIEnv*, jobject) {}
SLDK_NOT_BUILT_YET(jlong, Misc, getPhysicalMemory0)(JNIEnv*, jobject) { return 0; }
SLDK_NOT_BUILT_YET(jlong, Misc, getFreeDiskSpace0)(JNIEnv*, jobject, jstring) { return -1; }
SLDK_NOT_BUILT_YET(jboolean, Misc, moveWithDelayUntilReboot0)(JNIEnv*, jobject, jstring, jstring) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(void, Misc, toFront0)(JNIEnv*, jobject) {}
// 0: no process could be ended.
SLDK_NOT_BUILT_YET(jint, Misc, terminateProcesses0)(JNIEnv*, jobject, jintArray, jboolean, jint) { return 0; }
// The empty title of a process without windows.
SLDK_NOT_BUILT_YET(jstring, Misc, getWindowTitle0)(JNIEnv* env, jobject, jint) { return newJavaString(env, u""); }
SLDK_NOT_BUILT_YET(void, Misc, setForegroundWindow0)(JNIEnv*, jobject, jlong) {}
SLDK_NOT_BUILT_YET(jobjectArray, Misc, getTopLevelWindows0)(JNIEnv*, jobject, jclass, jint) { return nullptr; }
SLDK_NOT_BUILT_YET(jint, Misc, getPidFromHandle0)(JNIEnv*, jobject, jlong) { return 0; }
SLDK_NOT_BUILT_YET(jint, Win32Exec, launch0)(JNIEnv*, jobject, jstring, jstring) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jobjectArray, Win32Handle, list0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(jboolean, Win32Handle, close0)(JNIEnv*, jobject, jint) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jstring, Win32Handle, getDeviceName0)(JNIEnv*, jobject, jstring) { return nullptr; }

// --- Win32CommunicationBackend, Win32Proxy ---------------------------------------------------
SLDK_NOT_BUILT_YET(jlong, Win32CommunicationBackend, getInvalidHandle0)(JNIEnv*, jobject) { return -1; }
SLDK_NOT_BUILT_YET(jlong, Win32CommunicationBackend, createListener0)(JNIEnv*, jobject, jstring) { return -1; }
SLDK_NOT_BUILT_YET(jbyteArray, Win32CommunicationBackend, readDataBlock0)(JNIEnv*, jobject, jlong) { return nullptr; }
SLDK_NOT_BUILT_YET(jboolean, Win32CommunicationBackend, writeDataBlock0)(JNIEnv*, jobject, jlong, jbyteArray)
{
    return JNI_FALSE;
}
SLDK_NOT_BUILT_YET(jlong, Win32CommunicationBackend, connectClient0)(JNIEnv*, jobject, jstring) { return 0; }
SLDK_NOT_BUILT_YET(jboolean, Win32CommunicationBackend, connectNamedPipe0)(JNIEnv*, jobject, jlong) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(void, Win32CommunicationBackend, disconnectNamedPipe0)(JNIEnv*, jobject, jlong) {}
SLDK_NOT_BUILT_YET(void, Win32CommunicationBackend, closeHandle0)(JNIEnv*, jobject, jlong) {}
SLDK_NOT_BUILT_YET(jboolean, Win32CommunicationBackend, isProcessAlive0)(JNIEnv*, jobject, jint) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jint, Win32CommunicationBackend, getCurrentProcessId0)(JNIEnv*, jobject) { return 0; }
// 100000: WinHTTP is not available.
SLDK_NOT_BUILT_YET(jint, Win32Proxy, getIEConfig0)(JNIEnv*, jobject, jobjectArray) { return 100000; }
SLDK_NOT_BUILT_YET(jint, Win32Proxy, getDefaultConfig0)(JNIEnv*, jobject, jobjectArray) { return 100000; }
SLDK_NOT_BUILT_YET(jlong, Win32Proxy, getAutoProxyConfig0)(JNIEnv*, jobject, jobjectArray, jstring, jstring, jint,
                                                           jint, jboolean)
{
    return 100000;
}
SLDK_NOT_BUILT_YET(jboolean, Win32Proxy, loadFunctions0)(JNIEnv*, jobject) { return JNI_FALSE; }

// --- Win32UserInfo -------------------------------------------------------------------------
SLDK_NOT_BUILT_YET(jboolean, Win32UserInfo, isMemberOfGroup0)(JNIEnv*, jobject, jint) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jboolean, Win32UserInfo, executeElevated0)(JNIEnv*, jobject, jstring, jstring, jstring, jint)
{
    return JNI_FALSE;
}
SLDK_NOT_BUILT_YET(jint, Win32UserInfo, getElevationType0)(JNIEnv*, jobject) { return 0; }
SLDK_NOT_BUILT_YET(jstring, Win32UserInfo, addUser0)(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jstring,
                                                     jboolean, jboolean)
{
    return nullptr;
}
// -1: the network functions could not be bound.
SLDK_NOT_BUILT_YET(jint, Win32UserInfo, deleteUser0)(JNIEnv*, jobject, jstring, jstring) { return -1; }
SLDK_NOT_BUILT_YET(jint, Win32UserInfo, deleteLocalGroup0)(JNIEnv*, jobject, jstring, jstring) { return -1; }
SLDK_NOT_BUILT_YET(jstring, Win32UserInfo, getAccountName0)(JNIEnv* env, jobject, jstring, jboolean)
{
    return errorText(env, L" ");
}
SLDK_NOT_BUILT_YET(jstring, Win32UserInfo, getUserProfileDirectory0)(JNIEnv* env, jobject, jstring, jstring)
{
    return errorText(env, L" ");
}
SLDK_NOT_BUILT_YET(jstring, Win32UserInfo, getUserSid0)(JNIEnv*, jobject) { return nullptr; }
SLDK_NOT_BUILT_YET(jboolean, Win32UserInfo, setLsaAccountRight0)(JNIEnv*, jobject, jstring, jstring, jboolean)
{
    return JNI_FALSE;
}

// --- Win32Services -------------------------------------------------------------------------
SLDK_NOT_BUILT_YET(jint, Win32Services, installService0)(JNIEnv*, jobject, jstring, jstring, jstring) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jint, Win32Services, changeServiceConfig0)(JNIEnv*, jobject, jstring, jstring, jstring, jint, jint,
                                                              jstring, jstring, jstring, jstring)
{
    return kNotBuilt;
}
SLDK_NOT_BUILT_YET(jint, Win32Services, setRestartServiceConfig0)(JNIEnv*, jobject, jstring, jboolean, jint)
{
    return kNotBuilt;
}
SLDK_NOT_BUILT_YET(jint, Win32Services, setDelayedAutoStart0)(JNIEnv*, jobject, jstring, jboolean) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jint, Win32Services, stopService0)(JNIEnv*, jobject, jstring, jint) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jint, Win32Services, startService0)(JNIEnv*, jobject, jstring, jobjectArray) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jint, Win32Services, uninstallService0)(JNIEnv*, jobject, jstring) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jint, Win32Services, queryStatus0)(JNIEnv*, jobject, jstring) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jint, Win32Services, getStartType0)(JNIEnv*, jobject, jstring) { return kNotBuilt; }
SLDK_NOT_BUILT_YET(jstring, Win32Services, getServiceBinary0)(JNIEnv* env, jobject, jstring)
{
    return errorText(env, L" ");
}
