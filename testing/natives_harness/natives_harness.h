// The in-process natives harness. The installer's natives are linked into the test program
// (as into setuplauncher), which exports them; the harness registers them through the
// program's own registerNatives with the stand-in JNIEnv, and a test calls a native through
// the pointer bound for it, as the VM would:
//
//     const auto registration = natives_harness::registerProgramNatives();
//     auto keyExists = natives_harness::boundNative<jboolean (*)(JNIEnv*, jobject, jint, jstring, jint)>(
//         "Registry", "keyExists0");
//     const jboolean found = natives_harness::call(keyExists, 2, natives_harness::javaString(u"Software"), 0);
//
// call() fails the test when the native breaks the JNI rules: any call but the exception
// functions and releases while an exception is pending, a reference of the wrong kind, a
// release of something not handed out, a local reference deleted twice. After the call it
// also fails the test for a leaked local reference, an unreleased string or array and an
// exception left pending (unless the test asked a JNI call to fail, see failCall).
#pragma once

#include <jni.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standin_vm.h"

namespace natives_harness {

JNIEnv* env();

struct Registration {
    bool result = false;
    std::vector<std::wstring> reports;   // the reporter's messages, formatted
    std::vector<std::string> registered; // "<class> <method> <signature>" in binding order
};

// Forgets earlier bindings, then calls this program's exported registerNatives with the
// stand-in env, the program's module and a reporter that keeps the messages.
Registration registerProgramNatives();
// The same registration through a lookup of the test's choosing (a module lacking exports).
Registration registerWithLookup(void* (*lookup)(void* context, const char* exportName), void* context);

// The function bound for the method of the class ("Registry", "keyExists0"); null when none.
void* boundAddress(std::string_view className, std::string_view method);
template <typename Function>
Function boundNative(std::string_view className, std::string_view method)
{
    return reinterpret_cast<Function>(boundAddress(className, method));
}

// --- Java values (local references of the test's frame) ---------------------------------------

jstring javaString(std::u16string_view text);
// A string's text; nullopt for null or an object that is not a string.
std::optional<std::u16string> textOf(jobject object);
jobjectArray stringArray(const std::vector<std::optional<std::u16string>>& texts);
// An Object[] holding the given objects.
jobjectArray objectArray(const std::vector<jobject>& elements);
// An object of the class without running a constructor (a wrong-class argument).
jobject plainObject(const char* className);
// A primitive array of the kind letter with the elements' bytes.
jarray primitiveArray(char kind, const void* elements, size_t count);
template <typename Element>
jarray primitiveArray(char kind, const std::vector<Element>& elements)
{
    return primitiveArray(kind, elements.data(), elements.size());
}
// The raw bytes of a primitive array; empty for anything else.
std::vector<unsigned char> primitiveBytes(jobject array);
// An object array's elements.
std::vector<jobject> elementsOf(jobject array);
// The class name of an object ("java/lang/Integer") and the constructor arguments it got.
std::string classNameOf(jobject object);
std::vector<jvalue> constructorArguments(jobject object);

// --- exceptions, references, failures --------------------------------------------------------

bool exceptionPending();
void clearException();
size_t liveLocalReferences();
// The most local references alive at once since the last reset.
size_t peakLocalReferences();
void resetPeakLocalReferences();
// Frees every local reference made so far: the end of a test's native frame.
void dropLocalReferences();

// The next call of the slot after callsBefore others fails with an exception pending (see
// standin::failCall); the exception it leaves is then expected after the call.
void failCall(std::string_view slot, int callsBefore);
// FindClass of the class fails while it is hidden (its exception is then expected after
// the call); "" shows every class again.
void hideClass(std::string_view internalName);

// This process's entries in the system handle table. Wine's GetProcessHandleCount answers 0
// whatever is open, so leak checks count here.
size_t ownHandleCount();

// --- calling --------------------------------------------------------------------------------

namespace detail {
struct Frame {
    size_t references = 0;
    size_t pinned = 0;
};
Frame enter();
// Checks the frame after the call; result is the native's reference result or null.
void leave(const Frame& frame, jobject result);
void violated(const standin::Violation& violation);
jobject receiver();
} // namespace detail

// Runs JNI code as a native runs: with the checks above, and a reference result (a
// pointer) allowed to outlive it as the one new local reference.
template <typename Body>
auto callCode(Body body) -> decltype(body())
{
    using Result = decltype(body());
    const detail::Frame frame = detail::enter();
    try {
        if constexpr (std::is_void_v<Result>) {
            body();
            detail::leave(frame, nullptr);
        } else {
            Result result = body();
            if constexpr (std::is_pointer_v<Result>)
                detail::leave(frame, reinterpret_cast<jobject>(result));
            else
                detail::leave(frame, nullptr);
            return result;
        }
    } catch (const standin::Violation& violation) {
        detail::violated(violation);
        if constexpr (!std::is_void_v<Result>)
            return Result{};
    }
}

// Calls a bound native as the VM does: the stand-in env, a receiver, the arguments.
template <typename Result, typename... Parameters, typename... Arguments>
Result call(Result (*native)(JNIEnv*, jobject, Parameters...), Arguments... arguments)
{
    if (!native) {
        ADD_FAILURE() << "the native is not bound";
        return Result{};
    }
    return callCode([&] { return native(env(), detail::receiver(), static_cast<Parameters>(arguments)...); });
}

} // namespace natives_harness
