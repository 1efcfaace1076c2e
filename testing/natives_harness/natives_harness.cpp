#include "testing/natives_harness/natives_harness.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "launchcore/windows/base/wide_format.h"
#include "natives/handle_records.h"
#include "natives/registration_table.h"

namespace standin {

// The harness's side of the stand-in core: no trace file, and a broken rule fails the test
// instead of ending the process.
std::vector<std::string>& tracedLines()
{
    static std::vector<std::string> lines;
    return lines;
}

void trace(std::string_view line) { tracedLines().emplace_back(line); }

void fail(std::string_view message) { throw Violation{std::string(message)}; }

JavaVM* javaVm() { return nullptr; }

} // namespace standin

namespace natives_harness {
namespace {

constexpr const char* kPackage = "com/sealdeck/runtime/installer/platform/win32/";

std::vector<std::wstring> g_reports;
bool g_failureRequested = false;

void keepReport(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    g_reports.push_back(formatWideV(format, arguments));
    va_end(arguments);
}

standin::Object* objectOf(jobject reference) { return standin::fromReference(reference); }

void forgetBindings()
{
    standin::buildWorld();
    for (standin::ClassInfo* info : standin::allClasses())
        info->natives.clear();
    g_reports.clear();
}

template <typename Register>
Registration registerWith(Register body)
{
    forgetBindings();
    Registration registration;
    registration.result = callCode(body);
    registration.reports = g_reports;
    for (standin::ClassInfo* info : standin::allClasses())
        for (const standin::RegisteredNative& native : info->natives)
            registration.registered.push_back(info->name + " " + native.name + " " + native.signature);
    return registration;
}

} // namespace

JNIEnv* env()
{
    standin::buildWorld();
    return standin::environment();
}

Registration registerProgramNatives()
{
    using RegisterNatives = unsigned char (*)(JNIEnv*, HMODULE, void (*)(const wchar_t*, ...));
    HMODULE program = GetModuleHandleW(nullptr);
    auto registerNatives = reinterpret_cast<RegisterNatives>(GetProcAddress(program, "registerNatives"));
    if (!registerNatives) {
        ADD_FAILURE() << "this program does not export registerNatives";
        return {};
    }
    return registerWith([&] { return registerNatives(env(), program, keepReport) != 0; });
}

Registration registerWithLookup(void* (*lookup)(void* context, const char* exportName), void* context)
{
    return registerWith([&] { return registerNativeClasses(env(), lookup, context, keepReport); });
}

void* boundAddress(std::string_view className, std::string_view method)
{
    standin::ClassInfo* info = standin::findClass(std::string(kPackage) + std::string(className));
    if (!info)
        return nullptr;
    for (const standin::RegisteredNative& native : info->natives)
        if (native.name == method)
            return native.function;
    return nullptr;
}

jstring javaString(std::u16string_view text)
{
    env();
    return reinterpret_cast<jstring>(standin::localReference(standin::newString(std::u16string(text))));
}

std::optional<std::u16string> textOf(jobject object)
{
    standin::Object* value = objectOf(object);
    if (!value || value->kind != standin::ObjectKind::String)
        return std::nullopt;
    return value->text;
}

jobjectArray stringArray(const std::vector<std::optional<std::u16string>>& texts)
{
    env();
    standin::Object* array = standin::newArray(standin::findClass("java/lang/String"), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        array->elements[i] = texts[i] ? standin::newString(*texts[i]) : nullptr;
    return reinterpret_cast<jobjectArray>(standin::localReference(array));
}

jobjectArray objectArray(const std::vector<jobject>& elements)
{
    env();
    standin::Object* array = standin::newArray(standin::findClass("java/lang/Object"), elements.size());
    for (size_t i = 0; i < elements.size(); ++i)
        array->elements[i] = objectOf(elements[i]);
    return reinterpret_cast<jobjectArray>(standin::localReference(array));
}

jobject plainObject(const char* className)
{
    env();
    standin::ClassInfo* type = standin::findClass(className);
    if (!type) {
        ADD_FAILURE() << "the stand-in world has no class " << className;
        return nullptr;
    }
    return standin::localReference(standin::newInstance(type));
}

jarray primitiveArray(char kind, const void* elements, size_t count)
{
    env();
    standin::Object* array = standin::newPrimitiveArray(kind, count);
    if (!array) {
        ADD_FAILURE() << "no primitive kind " << kind;
        return nullptr;
    }
    if (!array->bytes.empty())
        std::memcpy(array->bytes.data(), elements, array->bytes.size());
    return reinterpret_cast<jarray>(standin::localReference(array));
}

std::vector<unsigned char> primitiveBytes(jobject array)
{
    standin::Object* value = objectOf(array);
    return value && value->primitive ? value->bytes : std::vector<unsigned char>();
}

std::vector<jobject> elementsOf(jobject array)
{
    std::vector<jobject> elements;
    standin::Object* value = objectOf(array);
    if (value && value->kind == standin::ObjectKind::Array && !value->primitive)
        for (standin::Object* element : value->elements)
            elements.push_back(standin::toReference(element));
    return elements;
}

std::string classNameOf(jobject object)
{
    standin::Object* value = objectOf(object);
    return value && value->type ? value->type->name : std::string();
}

std::vector<jvalue> constructorArguments(jobject object)
{
    standin::Object* value = objectOf(object);
    return value ? value->values : std::vector<jvalue>();
}

bool exceptionPending() { return standin::pendingException() != nullptr; }

void clearException()
{
    standin::setPendingException(nullptr);
    g_failureRequested = false;
}

size_t liveLocalReferences() { return standin::liveLocalReferences(); }
size_t peakLocalReferences() { return standin::peakLocalReferences(); }
void resetPeakLocalReferences() { standin::resetPeakLocalReferences(); }

void dropLocalReferences() { standin::clearLocalReferences(); }

void failCall(std::string_view slot, int callsBefore)
{
    env();
    standin::failCall(slot, callsBefore);
    g_failureRequested = !slot.empty();
}

void hideClass(std::string_view internalName)
{
    env();
    standin::hideClass(internalName);
    // The failed FindClass leaves its exception, which the test then expects.
    if (!internalName.empty())
        g_failureRequested = true;
}

size_t ownHandleCount()
{
    using Query = LONG(WINAPI*)(ULONG kind, void* buffer, ULONG size, ULONG* needed);
    const auto query =
        reinterpret_cast<Query>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation"));
    constexpr ULONG kExtendedHandleTable = 64;
    std::vector<unsigned char> table(1 << 20);
    LONG status = 0;
    while ((status = query(kExtendedHandleTable, table.data(), static_cast<ULONG>(table.size()), nullptr)) != 0 &&
           table.size() < (256u << 20))
        table.resize(table.size() * 2);
    EXPECT_EQ(status, 0) << "the system handle table could not be read";
    const size_t count =
        handlesOfProcess(parseExtendedHandleTable(table.data(), table.size()), GetCurrentProcessId(), false).size();
    EXPECT_GT(count, 0u) << "no handle of this process in the table";
    return count;
}

namespace detail {

Frame enter()
{
    env();
    standin::resetPeakLocalReferences();
    return {standin::liveLocalReferences(), standin::pinnedBuffers()};
}

void leave(const Frame& frame, jobject result)
{
    const size_t expected = frame.references + (result ? 1 : 0);
    EXPECT_EQ(standin::liveLocalReferences(), expected) << "local references left behind by the native";
    EXPECT_EQ(standin::pinnedBuffers(), frame.pinned) << "string characters or array elements not released";
    if (!g_failureRequested) {
        EXPECT_FALSE(exceptionPending()) << "the native left an exception pending";
    }
}

void violated(const standin::Violation& violation) { ADD_FAILURE() << "JNI rule broken: " << violation.message; }

jobject receiver()
{
    static jobject object = standin::toReference(standin::findClass("java/lang/Object")->object);
    return object;
}

} // namespace detail

} // namespace natives_harness
