// The stand-in VM's small Java world, shared by the invocation interface (standin_vm.cpp),
// the JNIEnv table (standin_env.cpp), the Java-side classes (standin_world.cpp) and the
// text helpers (standin_text.cpp).
//
// It is no Java VM: it knows a handful of classes by name, runs their methods as C++ code
// and traces what it receives, so that the tests can compare it with what the launcher or
// a native passed. Two hosts use the same core: the jvm.dll stand-in (trace file named by
// SLDK_TRACE, a broken rule ends the process) and the in-process natives harness
// (testing/natives_harness, a broken rule fails the test). Objects live until the process
// ends, so references are plain pointers; the table still counts the live local references
// and the pinned characters and elements, to catch natives that leak or mis-release them.
#pragma once

#include <windows.h>

#include <jni.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct ClassInfo;

enum class ObjectKind { Class, String, Array, Throwable, Plain };

struct Object {
    ObjectKind kind = ObjectKind::Plain;
    ClassInfo* type = nullptr;        // the object's class (for a class object: java/lang/Class's stand-in, null)
    ClassInfo* represents = nullptr;  // a class object: the class it stands for
    std::u16string text;              // a string's value; a throwable's toString() text
    std::vector<Object*> elements;    // an object array
    ClassInfo* elementType = nullptr; // an object array's element class
    char primitive = 0;               // a primitive array: its kind letter ('Z', 'B', 'I', ...)
    std::vector<unsigned char> bytes; // a primitive array's elements
    std::vector<jvalue> values;       // an object made by NewObjectA: its constructor arguments
};

// A method body gets the receiver (null for a static method) and the jvalue arguments; it
// may leave an exception pending through throwException.
using MethodBody = std::function<jvalue(Object* self, const jvalue* arguments)>;

struct MethodInfo {
    ClassInfo* owner = nullptr;
    std::string name;
    std::string signature;
    bool isStatic = true;
    MethodBody body;
};

struct FieldInfo {
    ClassInfo* owner = nullptr;
    std::string name;
    std::string signature;
    bool isStatic = true;
    Object* value = nullptr;
};

struct RegisteredNative {
    std::string name;
    std::string signature;
    void* function = nullptr;
};

struct ClassInfo {
    std::string name; // internal form, "java/lang/String"
    ClassInfo* super = nullptr;
    Object* object = nullptr;
    std::vector<std::unique_ptr<MethodInfo>> methods;
    std::vector<std::unique_ptr<FieldInfo>> fields;
    std::vector<RegisteredNative> natives; // what RegisterNatives bound, in order
};

// --- the world ---------------------------------------------------------------------------

// Builds the classes once, honouring the missing-class and missing-method knobs.
void buildWorld();
// A class by internal name; null when the world has none (or the knob removed it).
ClassInfo* findClass(std::string_view name);
// The method of the class or one of its superclasses.
MethodInfo* findMethod(ClassInfo* type, std::string_view name, std::string_view signature, bool isStatic);
FieldInfo* findField(ClassInfo* type, std::string_view name, std::string_view signature, bool isStatic);
bool isSubclassOf(const ClassInfo* type, const ClassInfo* ancestor);

// The class knob at run time: FindClass of that name fails until it is set to "".
void hideClass(std::string_view name);
// Every class of the world, in definition order.
std::vector<ClassInfo*> allClasses();

Object* newString(std::u16string text);
Object* newArray(ClassInfo* elementType, size_t length);
// A plain object of the class, before its constructor runs.
Object* newInstance(ClassInfo* type);
// A primitive array of the kind letter, its elements zero; null for an unknown kind.
Object* newPrimitiveArray(char kind, size_t length);
size_t primitiveSize(char kind);
// A throwable of the class whose toString() gives text as it is.
Object* newThrowable(std::string_view className, std::u16string text);

inline jobject toReference(Object* object) { return reinterpret_cast<jobject>(object); }
inline Object* fromReference(jobject reference) { return reinterpret_cast<Object*>(reference); }

// --- exceptions (one thread uses the VM) ---------------------------------------------------

Object* pendingException();
void setPendingException(Object* throwable);
// A VM-raised exception: toString() is the class in dotted form, ": " and the detail.
void throwException(std::string_view className, std::string_view detail);

// --- local references and pinned memory ---------------------------------------------------

// Counts a reference handed out as a local reference; null stays null.
jobject localReference(Object* object);
size_t liveLocalReferences();
size_t peakLocalReferences();
void resetPeakLocalReferences();
// Ends every local reference at once, as the return of a native's frame does.
void clearLocalReferences();
// Characters of GetStringChars and elements of Get<Type>ArrayElements not yet released.
size_t pinnedBuffers();

// The call numbered callsBefore + 1 from now of the slot (FindClass, NewString,
// NewObjectArray, NewObjectA, GetStringChars, RegisterNatives, and for every primitive
// kind "New<Type>Array" and "Get<Type>ArrayElements") fails as the VM fails when it runs out of memory:
// an exception pending and no result. An empty slot name cancels it.
void failCall(std::string_view slot, int callsBefore);
// True (and the exception raised) when this call of the slot is the one chosen to fail.
bool failsNow(const char* slot);

// --- the trace and the process end -----------------------------------------------------------

// Appends one UTF-8 line to the trace file (nothing when SLDK_TRACE is unset).
void trace(std::string_view line);
// The caller broke the JNI rules or used something the stand-in lacks. In jvm.dll: prints
// "stand-in jvm: <message>" to standard error and the trace and ends the process with exit
// code 97. In the natives harness: throws Violation, which fails the running test.
[[noreturn]] void fail(std::string_view message);

struct Violation {
    std::string message;
};

// --- environment and text helpers -------------------------------------------------------------

// The variable's value; empty when it is unset.
std::wstring environmentText(const wchar_t* name);
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);
// The VM's 8-bit strings: modified UTF-8 (NUL as C0 80, supplementary characters as two
// encoded surrogates).
std::u16string decodeModifiedUtf8(std::string_view bytes);
std::string encodeModifiedUtf8(std::u16string_view text);
// An 8-bit text of the platform code page (the VM option strings).
std::string ansiToUtf8(std::string_view text);

// --- the environment table -----------------------------------------------------------------

JNIEnv* environment();
// The created VM; null before JNI_CreateJavaVM succeeded.
JavaVM* javaVm();
// The name of slot index of the JNIEnv function table; null past the end.
const char* environmentSlotName(size_t index);
// The function in the named slot; null for an unknown name.
void* environmentSlot(std::string_view name);

} // namespace standin
