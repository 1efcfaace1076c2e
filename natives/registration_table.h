// The Java-facing interface of the installer runtime's natives: the fifteen classes whose
// natives are bound explicitly, each method with its signature and the export that
// implements it, and the registration of them all with a VM.
#pragma once

#include <jni.h>

#include <cstddef>
#include <span>

struct NativeMethod {
    const char* name;
    const char* signature;
    const char* exportName; // the JNI short name the executable exports
};

struct NativeClass {
    const char* name; // JNI internal name
    std::span<const NativeMethod> methods;
};

// In registration order.
std::span<const NativeClass> nativeClasses();

// Exported for the Java side's 8-bit link creation, but never bound by registration.
extern const char* const kUnregisteredNativeExport;

// Where the function pointers come from: the export of that name, or null.
using NativeExportLookup = void* (*)(void* context, const char* exportName);
// Receives one wide printf-style message per failure ("%S" takes 8-bit text).
using NativeRegistrationReporter = void (*)(const wchar_t* format, ...);

// Registers the classes in order, each completely or not at all: the class is found, every
// export of its table looked up, then RegisterNatives called. The first failing class ends
// it with false; classes before it stay bound. No exception is left pending and no local
// reference is kept. Null arguments give false without touching anything.
bool registerNativeClasses(JNIEnv* env, NativeExportLookup lookup, void* context, NativeRegistrationReporter report);
