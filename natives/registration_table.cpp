#include "natives/registration_table.h"

#include <array>

namespace {

#define SLDK_NATIVE_CLASS(Class) "com/sealdeck/runtime/installer/platform/win32/" #Class
#define SLDK_NATIVE(Class, method, signature) \
    NativeMethod { #method, signature, "Java_com_sealdeck_runtime_installer_platform_win32_" #Class "_" #method }

constexpr NativeMethod kAclHandling[] = {
    SLDK_NATIVE(ACLHandling, addACE, "(Ljava/lang/String;ZZZZZILjava/lang/String;)Z"),
};

constexpr NativeMethod kFileVersion[] = {
    SLDK_NATIVE(FileVersion, compare0, "(Ljava/lang/String;Ljava/lang/String;)I"),
};

constexpr NativeMethod kFolderInfo[] = {
    SLDK_NATIVE(FolderInfo, getSpecialFolder0, "(IZ)Ljava/lang/String;"),
    SLDK_NATIVE(FolderInfo, getPathFromRegistry0, "(Ljava/lang/String;)Ljava/lang/String;"),
    SLDK_NATIVE(FolderInfo, getWindowsDirectory0, "()Ljava/lang/String;"),
    SLDK_NATIVE(FolderInfo, getSystemDirectory0, "()Ljava/lang/String;"),
    SLDK_NATIVE(FolderInfo, getDriveType0, "(Ljava/lang/String;)I"),
    SLDK_NATIVE(FolderInfo, getShortPathName0, "(Ljava/lang/String;)Ljava/lang/String;"),
    SLDK_NATIVE(FolderInfo, getUniversalPathName0, "(Ljava/lang/String;)Ljava/lang/String;"),
};

constexpr NativeMethod kMisc[] = {
    SLDK_NATIVE(Misc, reboot0, "()V"),
    SLDK_NATIVE(Misc, getRunningModules0, "(Z)[Ljava/lang/String;"),
    SLDK_NATIVE(Misc, getEnvVarPairs0, "()[Ljava/lang/String;"),
    SLDK_NATIVE(Misc, broadcastSettingChange0, "()V"),
    SLDK_NATIVE(Misc, getPhysicalMemory0, "()J"),
    SLDK_NATIVE(Misc, getFreeDiskSpace0, "(Ljava/lang/String;)J"),
    SLDK_NATIVE(Misc, moveWithDelayUntilReboot0, "(Ljava/lang/String;Ljava/lang/String;)Z"),
    SLDK_NATIVE(Misc, toFront0, "()V"),
    SLDK_NATIVE(Misc, terminateProcesses0, "([IZI)I"),
    SLDK_NATIVE(Misc, getWindowTitle0, "(I)Ljava/lang/String;"),
    SLDK_NATIVE(Misc, setForegroundWindow0, "(J)V"),
    SLDK_NATIVE(Misc, getTopLevelWindows0, "(Ljava/lang/Class;I)[Lcom/sealdeck/api/windows/WindowInfo;"),
    SLDK_NATIVE(Misc, getPidFromHandle0, "(J)I"),
};

constexpr NativeMethod kObjectPicker[] = {
    SLDK_NATIVE(ObjectPicker, show0, "(ZZZZZ)[Lcom/sealdeck/runtime/installer/platform/win32/ObjectPicker$Result;"),
};

constexpr NativeMethod kShellLink[] = {
    SLDK_NATIVE(ShellLink, createWide0,
                "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Z"
                "Ljava/lang/String;I)Z"),
    SLDK_NATIVE(ShellLink, changeNotify0, "([B[B)Z"),
    SLDK_NATIVE(ShellLink, initialize0, "()Z"),
    SLDK_NATIVE(ShellLink, uninitialize, "()Z"),
};

constexpr NativeMethod kVistaFileChooser[] = {
    SLDK_NATIVE(VistaFileChooser, initialize0, "()V"),
    SLDK_NATIVE(VistaFileChooser, displayDialog0,
                "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZLjava/lang/String;"
                "[Ljava/lang/String;[Ljava/lang/String;I[Ljava/lang/String;[Z)[Ljava/lang/String;"),
};

constexpr NativeMethod kVistaTaskDialog[] = {
    SLDK_NATIVE(VistaTaskDialog, show0,
                "(JLjava/lang/String;Ljava/lang/String;Ljava/lang/String;IIILjava/lang/String;[Ljava/lang/String;I)I"),
};

constexpr NativeMethod kWin32CommunicationBackend[] = {
    SLDK_NATIVE(Win32CommunicationBackend, getInvalidHandle0, "()J"),
    SLDK_NATIVE(Win32CommunicationBackend, createListener0, "(Ljava/lang/String;)J"),
    SLDK_NATIVE(Win32CommunicationBackend, readDataBlock0, "(J)[B"),
    SLDK_NATIVE(Win32CommunicationBackend, writeDataBlock0, "(J[B)Z"),
    SLDK_NATIVE(Win32CommunicationBackend, connectClient0, "(Ljava/lang/String;)J"),
    SLDK_NATIVE(Win32CommunicationBackend, connectNamedPipe0, "(J)Z"),
    SLDK_NATIVE(Win32CommunicationBackend, disconnectNamedPipe0, "(J)V"),
    SLDK_NATIVE(Win32CommunicationBackend, closeHandle0, "(J)V"),
    SLDK_NATIVE(Win32CommunicationBackend, isProcessAlive0, "(I)Z"),
    SLDK_NATIVE(Win32CommunicationBackend, getCurrentProcessId0, "()I"),
};

constexpr NativeMethod kWin32Proxy[] = {
    SLDK_NATIVE(Win32Proxy, getIEConfig0, "([Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Proxy, getDefaultConfig0, "([Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Proxy, getAutoProxyConfig0, "([Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IIZ)J"),
    SLDK_NATIVE(Win32Proxy, loadFunctions0, "()Z"),
};

constexpr NativeMethod kWin32UserInfo[] = {
    SLDK_NATIVE(Win32UserInfo, isMemberOfGroup0, "(I)Z"),
    SLDK_NATIVE(Win32UserInfo, executeElevated0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;I)Z"),
    SLDK_NATIVE(Win32UserInfo, getElevationType0, "()I"),
    SLDK_NATIVE(Win32UserInfo, addUser0,
                "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZ)"
                "Ljava/lang/String;"),
    SLDK_NATIVE(Win32UserInfo, deleteUser0, "(Ljava/lang/String;Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32UserInfo, deleteLocalGroup0, "(Ljava/lang/String;Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32UserInfo, getAccountName0, "(Ljava/lang/String;Z)Ljava/lang/String;"),
    SLDK_NATIVE(Win32UserInfo, getUserProfileDirectory0, "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;"),
    SLDK_NATIVE(Win32UserInfo, getUserSid0, "()Ljava/lang/String;"),
    SLDK_NATIVE(Win32UserInfo, setLsaAccountRight0, "(Ljava/lang/String;Ljava/lang/String;Z)Z"),
};

constexpr NativeMethod kRegistry[] = {
    SLDK_NATIVE(Registry, keyExists0, "(ILjava/lang/String;I)Z"),
    SLDK_NATIVE(Registry, createKey0, "(ILjava/lang/String;I)Z"),
    SLDK_NATIVE(Registry, getValue0, "(ILjava/lang/String;Ljava/lang/String;I)Ljava/lang/Object;"),
    SLDK_NATIVE(Registry, setValue0, "(ILjava/lang/String;Ljava/lang/String;Ljava/lang/Object;II)Z"),
    SLDK_NATIVE(Registry, deleteValue0, "(ILjava/lang/String;Ljava/lang/String;I)V"),
    SLDK_NATIVE(Registry, deleteKey0, "(ILjava/lang/String;ZI)V"),
    SLDK_NATIVE(Registry, saveKey0, "(ILjava/lang/String;Ljava/lang/String;I)Z"),
    SLDK_NATIVE(Registry, restoreKey0, "(ILjava/lang/String;Ljava/lang/String;I)Z"),
    SLDK_NATIVE(Registry, enumSubKeys0, "(ILjava/lang/String;I)[Ljava/lang/String;"),
    SLDK_NATIVE(Registry, enumValues0, "(ILjava/lang/String;I)[Ljava/lang/String;"),
    SLDK_NATIVE(Registry, changeNotifyAssociations0, "()V"),
};

constexpr NativeMethod kWin32Exec[] = {
    SLDK_NATIVE(Win32Exec, launch0, "(Ljava/lang/String;Ljava/lang/String;)I"),
};

constexpr NativeMethod kWin32Handle[] = {
    SLDK_NATIVE(Win32Handle, list0, "()[Ljava/lang/Object;"),
    SLDK_NATIVE(Win32Handle, close0, "(I)Z"),
    SLDK_NATIVE(Win32Handle, getDeviceName0, "(Ljava/lang/String;)Ljava/lang/String;"),
};

constexpr NativeMethod kWin32Services[] = {
    SLDK_NATIVE(Win32Services, installService0, "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Services, changeServiceConfig0,
                "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IILjava/lang/String;Ljava/lang/String;"
                "Ljava/lang/String;Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Services, setRestartServiceConfig0, "(Ljava/lang/String;ZI)I"),
    SLDK_NATIVE(Win32Services, setDelayedAutoStart0, "(Ljava/lang/String;Z)I"),
    SLDK_NATIVE(Win32Services, stopService0, "(Ljava/lang/String;I)I"),
    SLDK_NATIVE(Win32Services, startService0, "(Ljava/lang/String;[Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Services, uninstallService0, "(Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Services, queryStatus0, "(Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Services, getStartType0, "(Ljava/lang/String;)I"),
    SLDK_NATIVE(Win32Services, getServiceBinary0, "(Ljava/lang/String;)Ljava/lang/String;"),
};

constexpr NativeClass kClasses[] = {
    {SLDK_NATIVE_CLASS(ACLHandling), kAclHandling},
    {SLDK_NATIVE_CLASS(FileVersion), kFileVersion},
    {SLDK_NATIVE_CLASS(FolderInfo), kFolderInfo},
    {SLDK_NATIVE_CLASS(Misc), kMisc},
    {SLDK_NATIVE_CLASS(ObjectPicker), kObjectPicker},
    {SLDK_NATIVE_CLASS(ShellLink), kShellLink},
    {SLDK_NATIVE_CLASS(VistaFileChooser), kVistaFileChooser},
    {SLDK_NATIVE_CLASS(VistaTaskDialog), kVistaTaskDialog},
    {SLDK_NATIVE_CLASS(Win32CommunicationBackend), kWin32CommunicationBackend},
    {SLDK_NATIVE_CLASS(Win32Proxy), kWin32Proxy},
    {SLDK_NATIVE_CLASS(Win32UserInfo), kWin32UserInfo},
    {SLDK_NATIVE_CLASS(Registry), kRegistry},
    {SLDK_NATIVE_CLASS(Win32Exec), kWin32Exec},
    {SLDK_NATIVE_CLASS(Win32Handle), kWin32Handle},
    {SLDK_NATIVE_CLASS(Win32Services), kWin32Services},
};

// The table of one class is built on the stack of its registration step.
constexpr size_t kMostMethods = std::size(kMisc);

constexpr bool noClassExceeds(size_t limit)
{
    for (const NativeClass& c : kClasses)
        if (c.methods.size() > limit)
            return false;
    return true;
}
static_assert(noClassExceeds(kMostMethods));

// A failed FindClass or RegisterNatives raises an exception in the VM. The caller goes on
// with more JNI calls (initFromLauncher, main), which must not meet it.
void clearPending(JNIEnv* env)
{
    if (env->ExceptionCheck())
        env->ExceptionClear();
}

bool registerClass(JNIEnv* env, const NativeClass& nativeClass, NativeExportLookup lookup, void* context,
                   NativeRegistrationReporter report)
{
    jclass type = env->FindClass(nativeClass.name);
    if (!type) {
        report(L"could not load class %S", nativeClass.name);
        clearPending(env);
        return false;
    }
    std::array<JNINativeMethod, kMostMethods> table{};
    for (size_t i = 0; i < nativeClass.methods.size(); ++i) {
        const NativeMethod& method = nativeClass.methods[i];
        void* function = lookup(context, method.exportName);
        if (!function) {
            report(L"did not find %S", method.exportName);
            env->DeleteLocalRef(type);
            return false;
        }
        table[i].name = const_cast<char*>(method.name);
        table[i].signature = const_cast<char*>(method.signature);
        table[i].fnPtr = function;
    }
    const jint result = env->RegisterNatives(type, table.data(), static_cast<jint>(nativeClass.methods.size()));
    if (result != 0) {
        report(L"register %S failed %d", nativeClass.name, static_cast<int>(result));
        clearPending(env);
    }
    env->DeleteLocalRef(type);
    return result == 0;
}

} // namespace

const char* const kUnregisteredNativeExport = "Java_com_sealdeck_runtime_installer_platform_win32_ShellLink_create0";

std::span<const NativeClass> nativeClasses() { return kClasses; }

bool registerNativeClasses(JNIEnv* env, NativeExportLookup lookup, void* context, NativeRegistrationReporter report)
{
    if (!env || !lookup || !report)
        return false;
    for (const NativeClass& nativeClass : kClasses)
        if (!registerClass(env, nativeClass, lookup, context, report))
            return false;
    return true;
}
