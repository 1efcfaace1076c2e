// How a native is exported, and the wide-character side of the JNI conventions.
//
// A family source defines each of its natives as
//     SLDK_NATIVE_EXPORT(jboolean, Registry, keyExists0)(JNIEnv* env, jobject, jint root, ...)
// which exports it under its JNI short name; registerNatives finds it there by that name.
// The second JNI argument (the class or the object) is never used by the natives.
#pragma once

#include <jni.h>

#include <string_view>

#include "natives/jni_conventions.h"

#define SLDK_NATIVE_EXPORT(ReturnType, Class, method) \
    extern "C" JNIEXPORT ReturnType JNICALL Java_com_sealdeck_runtime_installer_platform_win32_##Class##_##method

// Windows text (UTF-16 in wchar_t) as a Java string; null with the exception pending on failure.
inline jstring newJavaString(JNIEnv* env, std::wstring_view text)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return newJavaString(env, std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// A Windows buffer's text up to its first NUL.
inline jstring newStringUpToNul(JNIEnv* env, const wchar_t* text)
{
    return newStringUpToNul(env, reinterpret_cast<const char16_t*>(text));
}
