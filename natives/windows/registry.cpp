// The natives of the Registry class: keys tested, created and deleted (recursively), values
// read, written and deleted, names enumerated, keys saved to and restored from hive files.
// All policy (which keys, which registry view) is the Java side's; the view bits it passes
// in accessFlags go into every access mask requested here.
#include <windows.h>

#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <deque>
#include <string>
#include <vector>

#include "launchcore/windows/base/console_output.h"
#include "launchcore/windows/base/handles.h"
#include "natives/multi_string.h"
#include "natives/windows/native_export.h"
#include "natives/windows/privilege_switch.h"
#include "natives/windows/shell_binding.h"

namespace {

// Value data crosses in one buffer of this size each way.
constexpr DWORD kDataBytes = 100000;
constexpr size_t kDataUnits = kDataBytes / sizeof(wchar_t);
// The longest string a REG_SZ or REG_EXPAND_SZ write takes, its NUL still fitting.
constexpr size_t kLongestString = kDataUnits - 1;
constexpr DWORD kEnumNameUnits = 4096;
constexpr DWORD kDeleteNameUnits = 1024;

// The Java side's value kinds of setValue0.
enum ValueKind : jint { kString = 1, kInteger = 2, kStringArray = 3, kBytes = 4, kExpandString = 5 };

HKEY rootKey(jint code)
{
    switch (code) {
    case 1: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_CURRENT_USER;
    case 3: return HKEY_LOCAL_MACHINE;
    case 4: return HKEY_USERS;
    case 5: return HKEY_CURRENT_CONFIG;
    default: return nullptr;
    }
}

enum class Open { Read, ReadWrite, Create };

// The key below the root in the given mode; empty when the root code is unknown or Windows
// refuses.
unique_hkey openKey(jint root, const JavaText& path, Open mode, jint accessFlags)
{
    unique_hkey key;
    const HKEY parent = rootKey(root);
    if (!parent || !path.ok())
        return key;
    const REGSAM extra = static_cast<REGSAM>(accessFlags);
    LONG result;
    if (mode == Open::Create)
        result = RegCreateKeyExW(parent, path.wide(), 0, nullptr, REG_OPTION_NON_VOLATILE, extra | KEY_ALL_ACCESS,
                                 nullptr, key.put(), nullptr);
    else
        result = RegOpenKeyExW(parent, path.wide(), 0, extra | KEY_READ | (mode == Open::ReadWrite ? KEY_SET_VALUE : 0),
                               key.put());
    if (result != ERROR_SUCCESS)
        key.reset();
    return key;
}

const wchar_t* units(const BYTE* data) { return reinterpret_cast<const wchar_t*>(data); }

// REG_SZ text: one trailing NUL is the terminator; inner and further NULs are data.
jstring storedString(JNIEnv* env, const BYTE* data, DWORD size)
{
    size_t count = size / sizeof(wchar_t);
    if (count > 0 && units(data)[count - 1] == L'\0')
        --count;
    return newJavaString(env, std::wstring_view(units(data), count));
}

jobject valueObject(JNIEnv* env, DWORD type, const BYTE* data, DWORD size)
{
    switch (type) {
    case REG_SZ: return storedString(env, data, size);
    case REG_EXPAND_SZ: {
        LocalRef<jstring> text(env, storedString(env, data, size));
        if (!text)
            return nullptr;
        jvalue argument{};
        argument.l = text.get();
        return constructObject(env, kExpandStringClass, &argument);
    }
    case REG_BINARY: {
        LocalRef<jbyteArray> bytes(env, env->NewByteArray(static_cast<jsize>(size)));
        if (!bytes || exceptionPending(env))
            return nullptr;
        env->SetByteArrayRegion(bytes.get(), 0, static_cast<jsize>(size), reinterpret_cast<const jbyte*>(data));
        return exceptionPending(env) ? nullptr : bytes.release();
    }
    case REG_DWORD: {
        jvalue argument{};
        std::memcpy(&argument.i, data, sizeof(DWORD));
        return constructObject(env, kIntegerClass, &argument);
    }
    case REG_MULTI_SZ: return newStringArray(env, multiStrings(data, size));
    default: return nullptr;
    }
}

struct ValueData {
    DWORD type = REG_NONE;
    DWORD size = 0;
};

bool stringData(JNIEnv* env, jobject value, DWORD type, BYTE* data, ValueData& built)
{
    if (!isInstanceOf(env, value, "java/lang/String"))
        return false;
    const JavaText text(env, static_cast<jstring>(value));
    // A longer text is refused rather than written cut.
    if (!text.ok() || text.view().size() > kLongestString)
        return false;
    const size_t count = text.view().size();
    std::memcpy(data, text.get(), count * sizeof(wchar_t));
    reinterpret_cast<wchar_t*>(data)[count] = L'\0';
    built = {type, static_cast<DWORD>((count + 1) * sizeof(wchar_t))};
    return true;
}

bool integerData(JNIEnv* env, jobject value, BYTE* data, ValueData& built)
{
    if (!isInstanceOf(env, value, kIntegerClass.name))
        return false;
    LocalRef<jclass> integer(env, env->FindClass(kIntegerClass.name));
    if (!integer || exceptionPending(env))
        return false;
    const jmethodID intValue = env->GetMethodID(integer.get(), "intValue", "()I");
    if (!intValue || exceptionPending(env))
        return false;
    const jint number = env->CallIntMethodA(value, intValue, nullptr);
    if (exceptionPending(env))
        return false;
    std::memcpy(data, &number, sizeof number);
    built = {REG_DWORD, sizeof number};
    return true;
}

bool stringArrayData(JNIEnv* env, jobject value, BYTE* data, ValueData& built)
{
    std::vector<std::optional<std::u16string>> elements;
    if (!isInstanceOf(env, value, "[Ljava/lang/String;") ||
        !readStringArray(env, static_cast<jobjectArray>(value), elements))
        return false;
    auto* out = reinterpret_cast<char16_t*>(data);
    size_t written = 0;
    for (const auto& element : elements) {
        // An empty element would end the list early when read back.
        if (!element || element->empty() || written + element->size() + 2 > kDataUnits)
            return false;
        std::memcpy(out + written, element->data(), element->size() * sizeof(char16_t));
        written += element->size();
        out[written++] = u'\0';
    }
    out[written++] = u'\0';
    built = {REG_MULTI_SZ, static_cast<DWORD>(written * sizeof(char16_t))};
    return true;
}

bool byteData(JNIEnv* env, jobject value, BYTE* data, ValueData& built)
{
    if (!isInstanceOf(env, value, "[B"))
        return false;
    const auto array = static_cast<jbyteArray>(value);
    const jsize length = env->GetArrayLength(array);
    // A longer array is refused rather than written cut.
    if (exceptionPending(env) || length < 0 || static_cast<DWORD>(length) > kDataBytes)
        return false;
    env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(data));
    if (exceptionPending(env))
        return false;
    built = {REG_BINARY, static_cast<DWORD>(length)};
    return true;
}

// The registry data of a value object of the kind; false (nothing to write) when the object
// is missing, of another class, or does not fit.
bool buildData(JNIEnv* env, jobject value, jint kind, BYTE* data, ValueData& built)
{
    switch (kind) {
    case kString: return stringData(env, value, REG_SZ, data, built);
    case kExpandString: return stringData(env, value, REG_EXPAND_SZ, data, built);
    case kInteger: return integerData(env, value, data, built);
    case kStringArray: return stringArrayData(env, value, data, built);
    case kBytes: return byteData(env, value, data, built);
    default: return false;
    }
}

// A null, empty or backslash-only path names the root itself, which is never deleted.
bool namesRoot(const JavaText& path)
{
    return path.view().find_first_not_of(u'\\') == std::u16string_view::npos;
}

using DeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

DeleteKeyExFunction deleteKeyEx()
{
    static const DeleteKeyExFunction function = [] {
        const HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
        return advapi ? reinterpret_cast<DeleteKeyExFunction>(
                            reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")))
                      : nullptr;
    }();
    return function;
}

// Deletes the sub-key and everything below it, deepest first. A level's names are all
// collected before any is deleted, so the deletions do not shift the enumeration.
void deleteTree(HKEY parent, const wchar_t* path, REGSAM accessFlags)
{
    unique_hkey key;
    if (RegOpenKeyExW(parent, path, 0, KEY_READ | accessFlags, key.put()) != ERROR_SUCCESS)
        return;
    std::deque<std::wstring> names;
    wchar_t name[kDeleteNameUnits];
    for (DWORD index = 0;; ++index) {
        DWORD length = kDeleteNameUnits;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    for (; !names.empty(); names.pop_back())
        deleteTree(key.get(), names.back().c_str(), accessFlags);
    key.reset();
    const DeleteKeyExFunction deleteEx = accessFlags ? deleteKeyEx() : nullptr;
    if (deleteEx)
        deleteEx(parent, path, accessFlags, 0);
    else
        RegDeleteKeyW(parent, path);
}

// True when only-if-empty forbids the deletion: the key holds something, or it exists but
// cannot be inspected (then it may well hold something).
bool keepsNonEmptyKey(HKEY root, const wchar_t* path, REGSAM accessFlags)
{
    unique_hkey key;
    const LONG opened = RegOpenKeyExW(root, path, 0, accessFlags | KEY_READ | KEY_SET_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND)
        return false;
    if (opened != ERROR_SUCCESS)
        return true;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    return subKeys != 0 || values != 0;
}

enum class Names { SubKeys, Values };

jobjectArray enumerate(JNIEnv* env, jint root, jstring keyPath, jint accessFlags, Names which)
{
    const JavaText path(env, keyPath);
    const unique_hkey key = openKey(root, path, Open::Read, accessFlags);
    if (!key)
        return nullptr;
    std::vector<std::u16string> names;
    wchar_t name[kEnumNameUnits];
    wchar_t keyClass[kEnumNameUnits];
    for (DWORD index = 0;; ++index) {
        DWORD length = kEnumNameUnits;
        DWORD classLength = kEnumNameUnits;
        const LONG result = which == Names::SubKeys
                                ? RegEnumKeyExW(key.get(), index, name, &length, nullptr, keyClass, &classLength, nullptr)
                                : RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        // A name longer than the buffer is skipped; any other failure (the key deleted
        // meanwhile) ends the list with the names found so far.
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        names.emplace_back(reinterpret_cast<const char16_t*>(name), length);
    }
    return newStringArray(env, names);
}

} // namespace

SLDK_NATIVE_EXPORT(jboolean, Registry, keyExists0)(JNIEnv* env, jobject, jint root, jstring keyPath, jint accessFlags)
{
    const JavaText path(env, keyPath);
    return toJavaBoolean(static_cast<bool>(openKey(root, path, Open::Read, accessFlags)));
}

SLDK_NATIVE_EXPORT(jboolean, Registry, createKey0)(JNIEnv* env, jobject, jint root, jstring keyPath, jint accessFlags)
{
    const JavaText path(env, keyPath);
    return toJavaBoolean(static_cast<bool>(openKey(root, path, Open::Create, accessFlags)));
}

SLDK_NATIVE_EXPORT(jobject, Registry, getValue0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jstring valueName, jint accessFlags)
{
    const JavaText path(env, keyPath);
    const JavaText name(env, valueName);
    const unique_hkey key = openKey(root, path, Open::Read, accessFlags);
    if (!key || !name.ok())
        return nullptr;
    alignas(wchar_t) BYTE data[kDataBytes];
    // A REG_DWORD stored shorter than 4 bytes reads as its bytes zero-extended.
    std::memset(data, 0, sizeof(DWORD));
    DWORD type = REG_NONE;
    DWORD size = kDataBytes;
    if (RegQueryValueExW(key.get(), name.wide(), nullptr, &type, data, &size) != ERROR_SUCCESS)
        return nullptr;
    return valueObject(env, type, data, size);
}

SLDK_NATIVE_EXPORT(jboolean, Registry, setValue0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jstring valueName, jobject value, jint kind, jint accessFlags)
{
    const JavaText path(env, keyPath);
    const JavaText name(env, valueName);
    const unique_hkey key = openKey(root, path, Open::Create, accessFlags);
    if (!key || !name.ok())
        return JNI_FALSE;
    alignas(wchar_t) BYTE data[kDataBytes];
    ValueData built;
    if (!buildData(env, value, kind, data, built))
        return JNI_FALSE;
    const LONG result = RegSetValueExW(key.get(), name.wide(), 0, built.type, data, built.size);
    if (result != ERROR_SUCCESS) {
        printConsole("no success %d\n", static_cast<int>(result));
        return JNI_FALSE;
    }
    return JNI_TRUE;
}

SLDK_NATIVE_EXPORT(void, Registry, deleteValue0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jstring valueName, jint accessFlags)
{
    const JavaText path(env, keyPath);
    const JavaText name(env, valueName);
    const unique_hkey key = openKey(root, path, Open::ReadWrite, accessFlags);
    if (key && name.ok())
        RegDeleteValueW(key.get(), name.wide());
}

SLDK_NATIVE_EXPORT(void, Registry, deleteKey0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jboolean onlyIfEmpty, jint accessFlags)
{
    const JavaText path(env, keyPath);
    const HKEY parent = rootKey(root);
    if (!parent || !path.ok() || namesRoot(path))
        return;
    const REGSAM flags = static_cast<REGSAM>(accessFlags);
    if (onlyIfEmpty && keepsNonEmptyKey(parent, path.wide(), flags))
        return;
    deleteTree(parent, path.wide(), flags);
}

SLDK_NATIVE_EXPORT(jboolean, Registry, saveKey0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jstring filePath, jint accessFlags)
{
    if (!switchPrivilege(L"SeBackupPrivilege", true))
        return JNI_FALSE;
    const JavaText path(env, keyPath);
    const JavaText file(env, filePath);
    const unique_hkey key = openKey(root, path, Open::ReadWrite, accessFlags);
    if (!key || !file.ok())
        return JNI_FALSE;
    return toJavaBoolean(RegSaveKeyW(key.get(), file.wide(), nullptr) == ERROR_SUCCESS);
}

SLDK_NATIVE_EXPORT(jboolean, Registry, restoreKey0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jstring filePath, jint accessFlags)
{
    if (!switchPrivilege(L"SeBackupPrivilege", true) || !switchPrivilege(L"SeRestorePrivilege", true))
        return JNI_FALSE;
    const JavaText path(env, keyPath);
    const JavaText file(env, filePath);
    const unique_hkey key = openKey(root, path, Open::Create, accessFlags);
    if (!key || !file.ok())
        return JNI_FALSE;
    return toJavaBoolean(RegRestoreKeyW(key.get(), file.wide(), 0) == ERROR_SUCCESS);
}

SLDK_NATIVE_EXPORT(jobjectArray, Registry, enumSubKeys0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jint accessFlags)
{
    return enumerate(env, root, keyPath, accessFlags, Names::SubKeys);
}

SLDK_NATIVE_EXPORT(jobjectArray, Registry, enumValues0)
(JNIEnv* env, jobject, jint root, jstring keyPath, jint accessFlags)
{
    return enumerate(env, root, keyPath, accessFlags, Names::Values);
}

SLDK_NATIVE_EXPORT(void, Registry, changeNotifyAssociations0)(JNIEnv*, jobject)
{
    shellNotify(shellBinding(), SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
