// The natives of the Win32Handle class: this process's open files as the system's handle
// table shows them (so that the installer can close what keeps a file it must replace in
// use), closing one of them, and the target of an object-manager link ("\??\C:").
#include <windows.h>

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/base/late_binding.h"
#include "natives/handle_records.h"
#include "natives/windows/native_export.h"

namespace {

using QuerySystemInformation = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
using DuplicateObject = LONG(NTAPI*)(HANDLE, HANDLE, HANDLE, HANDLE*, ACCESS_MASK, ULONG, ULONG);
using QueryObject = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using OpenSymbolicLink = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using QuerySymbolicLink = LONG(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG*);

constexpr ULONG kHandleInformation = 16;
constexpr ULONG kExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;
constexpr LONG kNotImplemented = static_cast<LONG>(0xC0000002);
constexpr LONG kInvalidInformationClass = static_cast<LONG>(0xC0000003);
constexpr LONG kInformationLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000023);
constexpr ULONG kFirstTableBytes = 0x10000;
constexpr ULONG kLargestTableBytes = 256u << 20;
constexpr ULONG kObjectInformationBytes = 4096;
// Name queries of handles with exactly this access (synchronous pipes among them) can
// block for good.
constexpr ULONG kBlockingNameAccess = 0x0012019F;
// Object names count their length in bytes in 16 bits.
constexpr size_t kLongestObjectName = 32767;

bool succeeded(LONG status) { return status >= 0; }

enum class TableRead { Read, Unsupported, Failed };

// One class of the handle table; the buffer doubles while the table does not fit it.
TableRead readHandleTable(QuerySystemInformation query, ULONG informationClass, std::vector<unsigned char>& table)
{
    for (ULONG size = kFirstTableBytes; size <= kLargestTableBytes; size *= 2) {
        table.assign(size, 0);
        ULONG written = 0;
        const LONG status = query(informationClass, table.data(), size, &written);
        if (succeeded(status)) {
            if (written > 0 && written < size)
                table.resize(written);
            return TableRead::Read;
        }
        if (status == kInvalidInformationClass || status == kNotImplemented)
            return TableRead::Unsupported;
        if (status != kInformationLengthMismatch)
            return TableRead::Failed;
    }
    return TableRead::Failed;
}

// A UNICODE_STRING-headed answer of an object query; 8-byte units keep it aligned.
using ObjectInformation = std::vector<ULONGLONG>;

const UNICODE_STRING& textOf(const ObjectInformation& information)
{
    return *reinterpret_cast<const UNICODE_STRING*>(information.data());
}

std::optional<ObjectInformation> queryObject(QueryObject query, HANDLE object, ULONG informationClass)
{
    ObjectInformation information(kObjectInformationBytes / sizeof(ULONGLONG));
    ULONG needed = 0;
    LONG status = query(object, informationClass, information.data(), kObjectInformationBytes, &needed);
    if (!succeeded(status) && needed > kObjectInformationBytes) {
        information.assign((needed + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG), 0);
        status = query(object, informationClass, information.data(), needed, nullptr);
    }
    if (!succeeded(status))
        return std::nullopt;
    return information;
}

// The object name of a handle of ours when it is a file, else nothing. Pipes are files to
// the object manager but hold nothing the installer replaces, and their names can block.
std::optional<std::u16string> fileName(DuplicateObject duplicate, QueryObject query, const SystemHandleRecord& record)
{
    const HANDLE own = GetCurrentProcess();
    HANDLE copied = nullptr;
    if (!succeeded(duplicate(own, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(record.handleValue)), own, &copied,
                             0, 0, 0)))
        return std::nullopt;
    const unique_handle copy(copied);
    const std::optional<ObjectInformation> type = queryObject(query, copy.get(), kObjectTypeInformation);
    if (!type || record.grantedAccess == kBlockingNameAccess)
        return std::nullopt;
    const UNICODE_STRING& typeName = textOf(*type);
    if (typeName.Length != 8 || !typeName.Buffer || std::memcmp(typeName.Buffer, L"File", 8) != 0)
        return std::nullopt;
    if (GetFileType(copy.get()) == FILE_TYPE_PIPE)
        return std::nullopt;
    const std::optional<ObjectInformation> name = queryObject(query, copy.get(), kObjectNameInformation);
    if (!name || !textOf(*name).Buffer || textOf(*name).Length == 0)
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(textOf(*name).Buffer), textOf(*name).Length / 2);
}

// The two-element Object[]: the int[] of handle values and the String[] of their names.
jobjectArray handleList(JNIEnv* env, const std::vector<jint>& values, const std::vector<std::u16string>& names)
{
    const jsize count = static_cast<jsize>(values.size());
    LocalRef<jintArray> handles(env, env->NewIntArray(count));
    if (!handles || exceptionPending(env))
        return nullptr;
    if (count > 0) {
        env->SetIntArrayRegion(handles.get(), 0, count, values.data());
        if (exceptionPending(env))
            return nullptr;
    }
    LocalRef<jobjectArray> objectNames(env, newStringArray(env, names));
    if (!objectNames)
        return nullptr;
    LocalRef<jclass> objectClass(env, env->FindClass("java/lang/Object"));
    if (!objectClass || exceptionPending(env))
        return nullptr;
    LocalRef<jobjectArray> list(env, env->NewObjectArray(2, objectClass.get(), nullptr));
    if (!list || exceptionPending(env))
        return nullptr;
    env->SetObjectArrayElement(list.get(), 0, handles.get());
    if (exceptionPending(env))
        return nullptr;
    env->SetObjectArrayElement(list.get(), 1, objectNames.get());
    if (exceptionPending(env))
        return nullptr;
    return list.release();
}

} // namespace

SLDK_NATIVE_EXPORT(jobjectArray, Win32Handle, list0)(JNIEnv* env, jobject)
{
    const auto querySystem = lateBound<QuerySystemInformation>(L"ntdll.dll", "NtQuerySystemInformation");
    const auto duplicate = lateBound<DuplicateObject>(L"ntdll.dll", "NtDuplicateObject");
    const auto query = lateBound<QueryObject>(L"ntdll.dll", "NtQueryObject");
    if (!querySystem || !duplicate || !query)
        return nullptr;
    // The older table has 16-bit process ids and handle values, which can name another
    // process's handles or cut ours: it is read only where the extended one is missing.
    std::vector<unsigned char> table;
    bool sixteenBitIds = false;
    TableRead read = readHandleTable(querySystem, kExtendedHandleInformation, table);
    if (read == TableRead::Unsupported) {
        sixteenBitIds = true;
        read = readHandleTable(querySystem, kHandleInformation, table);
    }
    if (read != TableRead::Read) {
        printConsole("NtQuerySystemInformation failed!\n");
        return nullptr;
    }
    const std::vector<SystemHandleRecord> records = sixteenBitIds ? parseHandleTable(table.data(), table.size())
                                                                  : parseExtendedHandleTable(table.data(), table.size());
    std::vector<jint> values;
    std::vector<std::u16string> names;
    for (const SystemHandleRecord& record : handlesOfProcess(records, GetCurrentProcessId(), sixteenBitIds)) {
        // The Java side holds handle values as int; a larger one could not be closed again.
        if (record.handleValue > 0x7FFFFFFF)
            continue;
        if (std::optional<std::u16string> name = fileName(duplicate, query, record)) {
            values.push_back(static_cast<jint>(record.handleValue));
            names.push_back(std::move(*name));
        }
    }
    flushConsole();
    return handleList(env, values, names);
}

SLDK_NATIVE_EXPORT(jboolean, Win32Handle, close0)(JNIEnv*, jobject, jint handleValue)
{
    const auto duplicate = lateBound<DuplicateObject>(L"ntdll.dll", "NtDuplicateObject");
    if (!duplicate)
        return JNI_FALSE;
    // Taken as unsigned: a negative value must not turn into a pseudo handle such as the
    // current process.
    const HANDLE given = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(static_cast<uint32_t>(handleValue)));
    const HANDLE own = GetCurrentProcess();
    HANDLE copied = nullptr;
    if (!succeeded(duplicate(own, given, own, &copied, 0, 0, DUPLICATE_CLOSE_SOURCE)))
        return JNI_FALSE;
    CloseHandle(copied);
    return JNI_TRUE;
}

SLDK_NATIVE_EXPORT(jstring, Win32Handle, getDeviceName0)(JNIEnv* env, jobject, jstring linkName)
{
    if (!linkName)
        return nullptr;
    const auto open = lateBound<OpenSymbolicLink>(L"ntdll.dll", "NtOpenSymbolicLinkObject");
    const auto query = lateBound<QuerySymbolicLink>(L"ntdll.dll", "NtQuerySymbolicLinkObject");
    if (!open || !query) {
        printConsole("did not find functions\n");
        return nullptr;
    }
    const JavaText name(env, linkName);
    if (!name.ok() || name.view().size() > kLongestObjectName)
        return nullptr;
    const USHORT nameBytes = static_cast<USHORT>(name.view().size() * sizeof(wchar_t));
    UNICODE_STRING objectName{nameBytes, nameBytes, const_cast<wchar_t*>(name.wide())};
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.ObjectName = &objectName;
    HANDLE opened = nullptr;
    const LONG status = open(&opened, GENERIC_READ, &attributes);
    if (!succeeded(status)) {
        printConsole("could not open link %S %p\n", name.wide(),
                     reinterpret_cast<void*>(static_cast<uintptr_t>(static_cast<ULONG>(status))));
        return nullptr;
    }
    const unique_handle link(opened);
    UNICODE_STRING target{};
    ULONG needed = 0;
    if (query(link.get(), &target, &needed) != kBufferTooSmall) {
        printConsole("could not query link length %S\n", name.wide());
        return nullptr;
    }
    std::vector<wchar_t> buffer(needed / sizeof(wchar_t) + 1);
    target.Buffer = buffer.data();
    target.MaximumLength = static_cast<USHORT>(std::min<size_t>(buffer.size() * sizeof(wchar_t), 0xFFFE));
    if (!succeeded(query(link.get(), &target, nullptr))) {
        printConsole("could not query link %S\n", name.wide());
        return nullptr;
    }
    return newJavaString(env, std::wstring_view(target.Buffer, target.Length / sizeof(wchar_t)));
}
