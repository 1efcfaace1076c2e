// How values cross the JNI boundary in every native: Java strings in as owned UTF-16
// copies, strings and string arrays out (built from native text, one local reference at a
// time), objects made through their constructors, handles as jlong, and the rule that a
// JNI call which raised an exception ends the native: nothing but the exception functions
// and releases may follow it, native memory is freed, the failure value is returned and
// the exception stays pending for the Java caller. No native raises an exception itself.
#pragma once

#include <jni.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launchcore/jni_launch.h"

// True when the last JNI call left an exception pending: stop and return the failure value.
inline bool exceptionPending(JNIEnv* env) { return env->ExceptionCheck() == JNI_TRUE; }

// A Java string argument as an owned, NUL-terminated UTF-16 copy of exactly its length
// (embedded NULs and surrogate pairs kept). A Java null stays a null pointer. With an
// exception already pending (an earlier copy failed) nothing is copied and ok() is false, so
// a native may copy all its arguments and check them afterwards.
class JavaText {
public:
    JavaText(JNIEnv* env, jstring value);
    JavaText(const JavaText&) = delete;
    JavaText& operator=(const JavaText&) = delete;
    // Passwords do not outlive the call in freed memory.
    ~JavaText();

    // False when the copy could not be made; an exception is then pending.
    bool ok() const { return ok_; }
    bool isNull() const { return !text_; }
    const char16_t* get() const { return text_ ? text_->c_str() : nullptr; }
    std::u16string_view view() const { return text_ ? std::u16string_view(*text_) : std::u16string_view(); }
#ifdef _WIN32
    // For the Windows API; null for a Java null.
    const wchar_t* wide() const { return reinterpret_cast<const wchar_t*>(get()); }
#endif

private:
    std::optional<std::u16string> text_;
    bool ok_ = true;
};

// Deletes a local reference when it goes out of scope; for references made in loops and
// on every early return.
template <typename Reference>
class LocalRef {
public:
    LocalRef(JNIEnv* env, Reference reference) : env_(env), reference_(reference) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    ~LocalRef()
    {
        if (reference_)
            env_->DeleteLocalRef(reference_);
    }
    Reference get() const { return reference_; }
    explicit operator bool() const { return reference_ != nullptr; }
    // Hands the reference to the caller, typically as the native's result.
    Reference release()
    {
        Reference reference = reference_;
        reference_ = nullptr;
        return reference;
    }

private:
    JNIEnv* env_;
    Reference reference_;
};

// Text up to its first NUL as a Java string; null with the exception pending on failure.
jstring newStringUpToNul(JNIEnv* env, const char16_t* text);

// The elements of a String[] argument in order, a Java null element as nullopt. False for a
// null array, an element that is not a string, or a failed JNI call (then an exception may be
// pending). Each element's reference is deleted before the next is read.
bool readStringArray(JNIEnv* env, jobjectArray array, std::vector<std::optional<std::u16string>>& texts);

// Whether the object is an instance of the named class; false for null, a class that
// cannot be found, or a pending exception.
bool isInstanceOf(JNIEnv* env, jobject object, const char* className);

// A class the natives construct, and its constructor's signature.
struct ConstructedClass {
    const char* name;
    const char* constructor;
};
inline constexpr ConstructedClass kIntegerClass{"java/lang/Integer", "(I)V"};
inline constexpr ConstructedClass kExpandStringClass{"com/sealdeck/api/windows/WinRegistry$ExpandString",
                                                     "(Ljava/lang/String;)V"};
inline constexpr ConstructedClass kWindowInfoClass{"com/sealdeck/api/windows/WindowInfo",
                                                   "(JILjava/lang/String;Ljava/lang/String;)V"};
inline constexpr ConstructedClass kObjectPickerResultClass{
    "com/sealdeck/runtime/installer/platform/win32/ObjectPicker$Result",
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V"};

// A new object through the class's constructor; null when the class or constructor is
// missing or the construction failed (any exception the VM raised stays pending).
jobject constructObject(JNIEnv* env, const ConstructedClass& constructed, const jvalue* arguments);
// The same for a class the caller already holds (the class argument of a native).
jobject constructObject(JNIEnv* env, jclass type, const char* constructor, const jvalue* arguments);

// Windows handles and window handles cross the boundary as the pointer value.
inline jlong handleToJava(const void* handle) { return static_cast<jlong>(reinterpret_cast<intptr_t>(handle)); }
template <typename Handle>
Handle handleFromJava(jlong value)
{
    return reinterpret_cast<Handle>(static_cast<intptr_t>(value));
}

inline jboolean toJavaBoolean(bool value) { return value ? JNI_TRUE : JNI_FALSE; }
