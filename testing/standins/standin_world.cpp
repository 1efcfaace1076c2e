// The classes of the stand-in VM and what their methods do: the launcher classes' main
// records what the Java side would receive, the installer runtime's and the system's hooks
// record their calls.
//
// Knobs read from the environment when the VM is created (a service passes them as
// "-Dsldk.<name>=<value>" VM options instead, see standin_vm.cpp):
//   SLDK_JVM_MISSING_CLASS=<name>   the class does not exist (internal or dotted form)
//   SLDK_JVM_MISSING_METHOD=<name>  no class has a method of that name
//   SLDK_JVM_THROW=<text>           main raises an exception whose toString() is the text
//   SLDK_JVM_WAIT_STDIN=1           main reads standard input and returns on the line "0",
//                                   as the Java side of a service waits for its stop
//   SLDK_JVM_EXIT=<n>               main ends the process with that exit code
//   SLDK_JVM_CALL_SLOT=<slot>       main calls that JNIEnv slot with no arguments, to show
//                                   the traps and the pending-exception rule at work
// An installer's Java side, as the progress window sees it (in this order):
//   SLDK_JVM_SLEEP_MS=<n>           main waits that long first
//   SLDK_JVM_MARKER=<n>             main writes n into this process's InstallStarted value
//   SLDK_JVM_WINDOW_MS=<n>          main shows a window of its own for that long
//   SLDK_JVM_LINGER_MS=<n>          main waits that long before it goes on
#include "standin_vm.h"

#include <windows.h>

#include <cstdlib>
#include <deque>

namespace standin {
namespace {

std::deque<std::unique_ptr<Object>> g_objects;
std::vector<std::unique_ptr<ClassInfo>> g_classes;
std::string g_missingClass;
std::string g_missingMethod;

std::string narrow(const std::wstring& text) { return toUtf8(std::u16string(text.begin(), text.end())); }

std::string knob(const wchar_t* name) { return narrow(environmentText(name)); }

DWORD knobNumber(const wchar_t* name) { return static_cast<DWORD>(std::strtoul(knob(name).c_str(), nullptr, 10)); }

// The installer's Java side: some work, its answer to the launcher's marker, its window.
void actAsInstaller()
{
    if (const DWORD sleep = knobNumber(L"SLDK_JVM_SLEEP_MS"))
        Sleep(sleep);
    if (const DWORD marker = knobNumber(L"SLDK_JVM_MARKER")) {
        const std::wstring name = L"InstallStarted_" + std::to_wstring(GetCurrentProcessId());
        RegSetKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\brenmark\\vexon", name.c_str(), REG_DWORD, &marker,
                        sizeof marker);
        trace("main: marker " + std::to_string(marker));
    }
    if (const DWORD shown = knobNumber(L"SLDK_JVM_WINDOW_MS")) {
        HWND window = CreateWindowExW(0, L"STATIC", L"Stand-in installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                      400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        trace(window ? "main: window shown" : "main: no window");
        const DWORD until = GetTickCount() + shown;
        MSG message;
        while (static_cast<int>(until - GetTickCount()) > 0) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            Sleep(20);
        }
        if (window)
            DestroyWindow(window);
    }
    if (const DWORD linger = knobNumber(L"SLDK_JVM_LINGER_MS"))
        Sleep(linger);
}

std::string internalName(std::string name)
{
    for (char& c : name)
        if (c == '.')
            c = '/';
    return name;
}

Object* newObject(ObjectKind kind, ClassInfo* type)
{
    g_objects.push_back(std::make_unique<Object>());
    Object* object = g_objects.back().get();
    object->kind = kind;
    object->type = type;
    return object;
}

ClassInfo* defineClass(const std::string& name, const char* superName)
{
    auto info = std::make_unique<ClassInfo>();
    info->name = name;
    info->super = superName ? findClass(superName) : nullptr;
    info->object = newObject(ObjectKind::Class, nullptr);
    info->object->represents = info.get();
    g_classes.push_back(std::move(info));
    return g_classes.back().get();
}

void defineMethod(ClassInfo* owner, const char* name, const char* signature, bool isStatic, MethodBody body)
{
    if (name == g_missingMethod)
        return;
    auto method = std::make_unique<MethodInfo>();
    method->owner = owner;
    method->name = name;
    method->signature = signature;
    method->isStatic = isStatic;
    method->body = std::move(body);
    owner->methods.push_back(std::move(method));
}

void defineStaticField(ClassInfo* owner, const char* name, const char* signature)
{
    auto field = std::make_unique<FieldInfo>();
    field->owner = owner;
    field->name = name;
    field->signature = signature;
    owner->fields.push_back(std::move(field));
}

// A String argument as text; a non-string reference is a launcher fault.
std::string stringArgument(const jvalue& value, const char* what)
{
    Object* object = fromReference(value.l);
    if (!object)
        return "null";
    if (object->kind != ObjectKind::String)
        fail(std::string(what) + " got an argument that is not a string");
    return toUtf8(object->text);
}

const char* booleanText(jboolean value)
{
    return value == JNI_TRUE ? "true" : value == JNI_FALSE ? "false" : "not-a-boolean";
}

jvalue nothing() { return jvalue{}; }

// Lines of standard input until "0" or the end of the input.
void waitForStopLine()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string line;
    for (;;) {
        char c = 0;
        DWORD read = 0;
        if (!ReadFile(input, &c, 1, &read, nullptr) || read == 0) {
            trace("stdin: end");
            return;
        }
        if (c == '\r')
            continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        trace("stdin: " + line);
        if (line == "0")
            return;
        line.clear();
    }
}

jvalue launcherMain(ClassInfo* launcher, const jvalue* arguments)
{
    trace("launcher-class: " + launcher->name);
    Object* array = fromReference(arguments[0].l);
    if (!array || array->kind != ObjectKind::Array)
        fail("main got no String[]");
    if (array->elements.size() > 1 && array->elements[1] && array->elements[1]->kind == ObjectKind::String)
        trace("main-class: " + toUtf8(array->elements[1]->text));
    // One write for the count and every argument: a test that sees the count while main
    // still runs must find all the arguments too.
    std::string received = "arg-count: " + std::to_string(array->elements.size());
    for (size_t i = 0; i < array->elements.size(); ++i) {
        Object* element = array->elements[i];
        if (!element)
            fail("main got a null argument " + std::to_string(i));
        if (element->kind != ObjectKind::String)
            fail("main got an argument that is not a string");
        received += "\narg " + std::to_string(i) + ": " + toUtf8(element->text);
    }
    trace(received);
    actAsInstaller();
    if (knob(L"SLDK_JVM_WAIT_STDIN") == "1")
        waitForStopLine();
    const std::wstring thrown = environmentText(L"SLDK_JVM_THROW");
    if (!thrown.empty()) {
        trace("main: throwing");
        setPendingException(newThrowable("java/lang/RuntimeException", std::u16string(thrown.begin(), thrown.end())));
    }
    const std::string slot = knob(L"SLDK_JVM_CALL_SLOT");
    if (!slot.empty()) {
        void* function = environmentSlot(slot);
        if (!function)
            fail("no JNIEnv slot " + slot);
        reinterpret_cast<void(JNICALL*)(JNIEnv*, ...)>(function)(environment());
    }
    const std::string exitCode = knob(L"SLDK_JVM_EXIT");
    if (!exitCode.empty()) {
        trace("main: exit " + exitCode);
        ExitProcess(static_cast<UINT>(std::strtoul(exitCode.c_str(), nullptr, 10)));
    }
    trace("main: return");
    return nothing();
}

} // namespace

void buildWorld()
{
    if (!g_classes.empty())
        return;
    g_missingClass = internalName(knob(L"SLDK_JVM_MISSING_CLASS"));
    g_missingMethod = knob(L"SLDK_JVM_MISSING_METHOD");

    ClassInfo* object = defineClass("java/lang/Object", nullptr);
    defineMethod(object, "toString", "()Ljava/lang/String;", false, [](Object* self, const jvalue*) {
        jvalue result{};
        std::string name = self->type ? self->type->name : "java/lang/Class";
        result.l = toReference(newString(fromUtf8(internalName(name) + "@1")));
        return result;
    });
    defineClass("java/lang/String", "java/lang/Object");
    ClassInfo* throwable = defineClass("java/lang/Throwable", "java/lang/Object");
    auto text = [](Object* self, const jvalue*) {
        jvalue result{};
        result.l = toReference(newString(self->text));
        return result;
    };
    defineMethod(throwable, "toString", "()Ljava/lang/String;", false, text);
    defineMethod(throwable, "getMessage", "()Ljava/lang/String;", false, text);
    defineClass("java/lang/Exception", "java/lang/Throwable");
    defineClass("java/lang/Error", "java/lang/Throwable");
    defineClass("java/lang/RuntimeException", "java/lang/Exception");
    for (const char* name : {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/ArrayStoreException",
                             "java/lang/NegativeArraySizeException", "java/lang/StringIndexOutOfBoundsException",
                             "java/lang/NullPointerException", "java/lang/IllegalArgumentException"})
        defineClass(name, "java/lang/RuntimeException");
    for (const char* name : {"java/lang/NoClassDefFoundError", "java/lang/NoSuchMethodError",
                             "java/lang/NoSuchFieldError", "java/lang/OutOfMemoryError"})
        defineClass(name, "java/lang/Error");

    ClassInfo* system = defineClass("java/lang/System", "java/lang/Object");
    defineMethod(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", true,
                 [](Object*, const jvalue* arguments) {
                     trace("property: " + stringArgument(arguments[0], "System.setProperty") + "=" +
                           stringArgument(arguments[1], "System.setProperty"));
                     return nothing();
                 });

    for (const char* name : {"com/sealdeck/runtime/launcher/WinLauncher", "com/vexon/runtime/WinLauncher"}) {
        ClassInfo* launcher = defineClass(name, "java/lang/Object");
        defineMethod(launcher, "main", "([Ljava/lang/String;)V", true,
                     [launcher](Object*, const jvalue* arguments) { return launcherMain(launcher, arguments); });
    }
    defineMethod(findClass("com/vexon/runtime/WinLauncher"), "initAwtSplashConfig",
                 "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V", true,
                 [](Object*, const jvalue* arguments) {
                     std::string line = std::string("splash: ") + booleanText(arguments[0].z) + "|" +
                                        booleanText(arguments[1].z);
                     for (int group = 0; group < 4; ++group) {
                         const jvalue* part = arguments + 2 + 3 * group;
                         for (const std::string& value :
                              {stringArgument(part[0], "initAwtSplashConfig"), std::to_string(part[1].i),
                               std::to_string(part[2].i)}) {
                             line += '|';
                             line += value;
                         }
                     }
                     trace(line);
                     return nothing();
                 });

    ClassInfo* common = defineClass("com/sealdeck/runtime/installer/platform/win32/Common", "java/lang/Object");
    defineMethod(common, "initFromLauncher", "(Z)V", true, [](Object*, const jvalue* arguments) {
        trace(std::string("initFromLauncher: ") + booleanText(arguments[0].z));
        return nothing();
    });

    ClassInfo* winDel = defineClass("com/vexon/runtime/util/WinDel", "java/lang/Object");
    defineStaticField(winDel, "externalExecutable", "Ljava/lang/String;");

    // The installer runtime's classes with natives; RegisterNatives records what it binds.
    for (const char* name : {"ACLHandling", "FileVersion", "FolderInfo", "Misc", "ObjectPicker", "ShellLink",
                             "VistaFileChooser", "VistaTaskDialog", "Win32CommunicationBackend", "Win32Proxy",
                             "Win32UserInfo", "Registry", "Win32Exec", "Win32Handle", "Win32Services"})
        defineClass(std::string("com/sealdeck/runtime/installer/platform/win32/") + name, "java/lang/Object");

    // The classes the natives construct keep their constructor arguments.
    defineClass("java/lang/Number", "java/lang/Object");
    ClassInfo* integer = defineClass("java/lang/Integer", "java/lang/Number");
    auto keepArguments = [](size_t count) {
        return [count](Object* self, const jvalue* arguments) {
            self->values.assign(arguments, arguments + count);
            return nothing();
        };
    };
    defineMethod(integer, "<init>", "(I)V", false, keepArguments(1));
    defineMethod(integer, "intValue", "()I", false, [](Object* self, const jvalue*) {
        jvalue result{};
        result.i = self->values.empty() ? 0 : self->values[0].i;
        return result;
    });
    defineMethod(defineClass("com/sealdeck/api/windows/WinRegistry$ExpandString", "java/lang/Object"), "<init>",
                 "(Ljava/lang/String;)V", false, keepArguments(1));
    defineMethod(defineClass("com/sealdeck/api/windows/WindowInfo", "java/lang/Object"), "<init>",
                 "(JILjava/lang/String;Ljava/lang/String;)V", false, keepArguments(4));
    defineMethod(defineClass("com/sealdeck/runtime/installer/platform/win32/ObjectPicker$Result", "java/lang/Object"),
                 "<init>", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
                 false, keepArguments(5));
}

void hideClass(std::string_view name) { g_missingClass = internalName(std::string(name)); }

std::vector<ClassInfo*> allClasses()
{
    std::vector<ClassInfo*> classes;
    for (const auto& info : g_classes)
        classes.push_back(info.get());
    return classes;
}

ClassInfo* findClass(std::string_view name)
{
    if (!g_missingClass.empty() && name == g_missingClass)
        return nullptr;
    for (const auto& info : g_classes)
        if (info->name == name)
            return info.get();
    // Array classes exist for every element type ("[B", "[Ljava/lang/String;").
    if (name.size() >= 2 && name[0] == '[') {
        const std::string_view element = name.substr(1);
        const bool known = element.size() == 1 ? primitiveSize(element[0]) != 0
                           : element[0] == '['  ? findClass(element) != nullptr
                                                : element.front() == 'L' && element.back() == ';' &&
                                                     findClass(element.substr(1, element.size() - 2)) != nullptr;
        if (known)
            return defineClass(std::string(name), "java/lang/Object");
    }
    return nullptr;
}

MethodInfo* findMethod(ClassInfo* type, std::string_view name, std::string_view signature, bool isStatic)
{
    for (ClassInfo* current = type; current; current = current->super)
        for (const auto& method : current->methods)
            if (method->name == name && method->signature == signature && method->isStatic == isStatic)
                return method.get();
    return nullptr;
}

FieldInfo* findField(ClassInfo* type, std::string_view name, std::string_view signature, bool isStatic)
{
    for (ClassInfo* current = type; current; current = current->super)
        for (const auto& field : current->fields)
            if (field->name == name && field->signature == signature && field->isStatic == isStatic)
                return field.get();
    return nullptr;
}

bool isSubclassOf(const ClassInfo* type, const ClassInfo* ancestor)
{
    for (const ClassInfo* current = type; current; current = current->super)
        if (current == ancestor)
            return true;
    return false;
}

Object* newString(std::u16string text)
{
    Object* string = newObject(ObjectKind::String, findClass("java/lang/String"));
    string->text = std::move(text);
    return string;
}

Object* newArray(ClassInfo* elementType, size_t length)
{
    const std::string& element = elementType->name;
    ClassInfo* type = findClass(element[0] == '[' ? "[" + element : "[L" + element + ";");
    Object* array = newObject(ObjectKind::Array, type ? type : findClass("java/lang/Object"));
    array->elementType = elementType;
    array->elements.assign(length, nullptr);
    return array;
}

Object* newInstance(ClassInfo* type) { return newObject(ObjectKind::Plain, type); }

size_t primitiveSize(char kind)
{
    switch (kind) {
    case 'Z':
    case 'B':
        return 1;
    case 'C':
    case 'S':
        return 2;
    case 'I':
    case 'F':
        return 4;
    case 'J':
    case 'D':
        return 8;
    default:
        return 0;
    }
}

Object* newPrimitiveArray(char kind, size_t length)
{
    const size_t size = primitiveSize(kind);
    if (size == 0)
        return nullptr;
    Object* array = newObject(ObjectKind::Array, findClass(std::string("[") + kind));
    array->primitive = kind;
    array->bytes.assign(length * size, 0);
    return array;
}

Object* newThrowable(std::string_view className, std::u16string text)
{
    ClassInfo* type = findClass(className);
    if (!type)
        type = findClass("java/lang/Throwable");
    Object* throwable = newObject(ObjectKind::Throwable, type);
    throwable->text = std::move(text);
    return throwable;
}

} // namespace standin
