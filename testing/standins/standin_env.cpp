// The stand-in VM's JNIEnv function table. Every slot is filled: the functions the launcher
// uses work on the small world of standin_vm.h, and all the others are traps that name
// their slot and end the process, so that a launcher reaching for something new fails
// loudly instead of jumping through a null pointer. The slot names come from the jni.h of
// the build (generated jni_env_slots.inc), so trap names and table layout cannot drift.
#include "standin_vm.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <utility>

namespace standin {
namespace {

const char* const kSlotNames[] = {
#include "jni_env_slots.inc"
};
constexpr size_t kSlotCount = sizeof(kSlotNames) / sizeof(kSlotNames[0]);
static_assert(kSlotCount * sizeof(void*) == sizeof(JNINativeInterface_),
              "the slot list does not match the JNIEnv function table of jni.h");

// Variadic so that one trap fits every slot's signature: on x64 the caller sets up the
// arguments the same way either way, and the trap never reads them.
template <size_t Index>
jint JNICALL trapSlot(JNIEnv*, ...)
{
    fail(std::string("unimplemented JNIEnv slot ") + kSlotNames[Index]);
}

template <size_t... Index>
constexpr auto makeTraps(std::index_sequence<Index...>)
{
    using Trap = jint(JNICALL*)(JNIEnv*, ...);
    return std::array<Trap, sizeof...(Index)>{&trapSlot<Index>...};
}

// Only the exception functions, releases and reference deletions may run while an
// exception is pending; anything else is a launcher bug that a real VM may or may not
// survive, so it ends the run here.
void requireNoPendingException(const char* slot)
{
    if (pendingException())
        fail(std::string("JNI call ") + slot + " with exception pending");
}

#define SLOT_ENTRY(name) requireNoPendingException(#name)

// --- local references, pinned memory, chosen failures ---------------------------------------

std::map<Object*, size_t> g_localReferences;
size_t g_liveCount = 0;
size_t g_peakCount = 0;
std::map<const void*, Object*> g_pinned;
std::string g_failingSlot;
int g_callsBeforeFailure = 0;

template <typename Reference>
Reference local(Object* object)
{
    return reinterpret_cast<Reference>(localReference(object));
}

void pin(const void* buffer, Object* owner) { g_pinned[buffer] = owner; }

void unpin(const void* buffer, const char* slot)
{
    if (g_pinned.erase(buffer) == 0)
        fail(std::string(slot) + " of a buffer that was not handed out or is already released");
}

ClassInfo* classOf(jclass type)
{
    Object* object = fromReference(type);
    if (!object || object->kind != ObjectKind::Class)
        fail("a jclass argument that is not a class");
    return object->represents;
}

Object* stringOf(jstring value, const char* slot)
{
    Object* object = fromReference(value);
    if (!object || object->kind != ObjectKind::String)
        fail(std::string(slot) + " on something that is not a string");
    return object;
}

Object* arrayOf(jarray value, const char* slot)
{
    Object* object = fromReference(value);
    if (!object || object->kind != ObjectKind::Array)
        fail(std::string(slot) + " on something that is not an array");
    return object;
}

Object* objectArrayOf(jarray value, const char* slot)
{
    Object* object = arrayOf(value, slot);
    if (object->primitive)
        fail(std::string(slot) + " on a primitive array");
    return object;
}

std::string dotted(std::string name)
{
    for (char& c : name)
        if (c == '/')
            c = '.';
    return name;
}

// --- versions, classes, references -------------------------------------------------------

jint JNICALL GetVersion(JNIEnv*)
{
    SLOT_ENTRY(GetVersion);
    return JNI_VERSION_1_8;
}

jclass JNICALL FindClass(JNIEnv*, const char* name)
{
    SLOT_ENTRY(FindClass);
    if (!name)
        fail("FindClass with a null name");
    if (failsNow("FindClass"))
        return nullptr;
    ClassInfo* found = findClass(name);
    if (!found) {
        throwException("java/lang/NoClassDefFoundError", name);
        return nullptr;
    }
    return local<jclass>(found->object);
}

jclass JNICALL GetSuperclass(JNIEnv*, jclass type)
{
    SLOT_ENTRY(GetSuperclass);
    ClassInfo* super = classOf(type)->super;
    return super ? local<jclass>(super->object) : nullptr;
}

jboolean JNICALL IsAssignableFrom(JNIEnv*, jclass from, jclass to)
{
    SLOT_ENTRY(IsAssignableFrom);
    return isSubclassOf(classOf(from), classOf(to)) ? JNI_TRUE : JNI_FALSE;
}

jint JNICALL Throw(JNIEnv*, jthrowable throwable)
{
    SLOT_ENTRY(Throw);
    Object* object = fromReference(throwable);
    if (!object || object->kind != ObjectKind::Throwable)
        return JNI_ERR;
    setPendingException(object);
    return JNI_OK;
}

jint JNICALL ThrowNew(JNIEnv*, jclass type, const char* message)
{
    SLOT_ENTRY(ThrowNew);
    ClassInfo* info = classOf(type);
    std::u16string text = fromUtf8(dotted(info->name));
    if (message)
        text += u": " + decodeModifiedUtf8(message);
    setPendingException(newThrowable(info->name, std::move(text)));
    return JNI_OK;
}

jthrowable JNICALL ExceptionOccurred(JNIEnv*)
{
    return local<jthrowable>(pendingException());
}

void JNICALL ExceptionDescribe(JNIEnv*)
{
    Object* pending = pendingException();
    if (!pending)
        return;
    // Like a real VM: the description goes to standard error and the exception is cleared.
    const std::string text = toUtf8(pending->text);
    const std::string line = "Exception in thread \"main\" " + text + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    trace("exception-described: " + text);
    setPendingException(nullptr);
}

void JNICALL ExceptionClear(JNIEnv*) { setPendingException(nullptr); }

jboolean JNICALL ExceptionCheck(JNIEnv*) { return pendingException() ? JNI_TRUE : JNI_FALSE; }

void JNICALL FatalError(JNIEnv*, const char* message)
{
    fail(std::string("FatalError ") + (message ? message : ""));
}

jint JNICALL PushLocalFrame(JNIEnv*, jint)
{
    SLOT_ENTRY(PushLocalFrame);
    return JNI_OK;
}

jobject JNICALL PopLocalFrame(JNIEnv*, jobject result) { return result; }

jobject JNICALL NewGlobalRef(JNIEnv*, jobject object)
{
    SLOT_ENTRY(NewGlobalRef);
    return object;
}

void JNICALL DeleteGlobalRef(JNIEnv*, jobject) {}

void JNICALL DeleteLocalRef(JNIEnv*, jobject reference)
{
    if (!reference)
        return;
    const auto found = g_localReferences.find(fromReference(reference));
    if (found == g_localReferences.end())
        fail("DeleteLocalRef of a reference that is not a live local reference");
    if (--found->second == 0)
        g_localReferences.erase(found);
    --g_liveCount;
}

jboolean JNICALL IsSameObject(JNIEnv*, jobject first, jobject second)
{
    SLOT_ENTRY(IsSameObject);
    return first == second ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL NewLocalRef(JNIEnv*, jobject object)
{
    SLOT_ENTRY(NewLocalRef);
    return localReference(fromReference(object));
}

jint JNICALL EnsureLocalCapacity(JNIEnv*, jint)
{
    SLOT_ENTRY(EnsureLocalCapacity);
    return JNI_OK;
}

jclass JNICALL GetObjectClass(JNIEnv*, jobject object)
{
    SLOT_ENTRY(GetObjectClass);
    Object* value = fromReference(object);
    if (!value)
        fail("GetObjectClass of null");
    if (!value->type)
        return local<jclass>(findClass("java/lang/Object")->object);
    return local<jclass>(value->type->object);
}

jboolean JNICALL IsInstanceOf(JNIEnv*, jobject object, jclass type)
{
    SLOT_ENTRY(IsInstanceOf);
    Object* value = fromReference(object);
    if (!value)
        return JNI_TRUE;
    return value->type && isSubclassOf(value->type, classOf(type)) ? JNI_TRUE : JNI_FALSE;
}

// --- methods and calls -----------------------------------------------------------------------

jmethodID lookUpMethod(jclass type, const char* name, const char* signature, bool isStatic)
{
    if (!name || !signature)
        fail("a method lookup without name or signature");
    MethodInfo* method = findMethod(classOf(type), name, signature, isStatic);
    if (!method) {
        throwException("java/lang/NoSuchMethodError", name);
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(method);
}

jmethodID JNICALL GetMethodID(JNIEnv*, jclass type, const char* name, const char* signature)
{
    SLOT_ENTRY(GetMethodID);
    return lookUpMethod(type, name, signature, false);
}

jmethodID JNICALL GetStaticMethodID(JNIEnv*, jclass type, const char* name, const char* signature)
{
    SLOT_ENTRY(GetStaticMethodID);
    return lookUpMethod(type, name, signature, true);
}

// The return type of a signature: what follows ')'.
char returnKind(const MethodInfo& method)
{
    const size_t close = method.signature.find(')');
    return close == std::string::npos || close + 1 >= method.signature.size() ? '?' : method.signature[close + 1];
}

jvalue invoke(const char* slot, jmethodID id, Object* self, const jvalue* arguments, bool isStatic, char kind)
{
    auto* method = reinterpret_cast<MethodInfo*>(id);
    if (!method)
        fail(std::string(slot) + " with a null method id");
    if (method->isStatic != isStatic)
        fail(std::string(slot) + " on " + (method->isStatic ? "static" : "instance") + " method " + method->name);
    const char actual = returnKind(*method);
    const bool objectReturn = actual == 'L' || actual == '[';
    if (objectReturn ? kind != 'L' : actual != kind)
        fail(std::string(slot) + " on " + method->name + method->signature + ", which returns another type");
    return method->body(self, arguments);
}

jobject JNICALL CallObjectMethodA(JNIEnv*, jobject object, jmethodID method, const jvalue* arguments)
{
    SLOT_ENTRY(CallObjectMethodA);
    if (!object)
        fail("CallObjectMethodA on null");
    return localReference(fromReference(invoke("CallObjectMethodA", method, fromReference(object), arguments, false, 'L').l));
}

jobject JNICALL CallStaticObjectMethodA(JNIEnv*, jclass, jmethodID method, const jvalue* arguments)
{
    SLOT_ENTRY(CallStaticObjectMethodA);
    return localReference(fromReference(invoke("CallStaticObjectMethodA", method, nullptr, arguments, true, 'L').l));
}

jboolean JNICALL CallStaticBooleanMethodA(JNIEnv*, jclass, jmethodID method, const jvalue* arguments)
{
    SLOT_ENTRY(CallStaticBooleanMethodA);
    return invoke("CallStaticBooleanMethodA", method, nullptr, arguments, true, 'Z').z;
}

jint JNICALL CallStaticIntMethodA(JNIEnv*, jclass, jmethodID method, const jvalue* arguments)
{
    SLOT_ENTRY(CallStaticIntMethodA);
    return invoke("CallStaticIntMethodA", method, nullptr, arguments, true, 'I').i;
}

void JNICALL CallStaticVoidMethodA(JNIEnv*, jclass, jmethodID method, const jvalue* arguments)
{
    SLOT_ENTRY(CallStaticVoidMethodA);
    invoke("CallStaticVoidMethodA", method, nullptr, arguments, true, 'V');
}

// --- static fields -----------------------------------------------------------------------------

jfieldID JNICALL GetStaticFieldID(JNIEnv*, jclass type, const char* name, const char* signature)
{
    SLOT_ENTRY(GetStaticFieldID);
    if (!name || !signature)
        fail("GetStaticFieldID without name or signature");
    FieldInfo* field = findField(classOf(type), name, signature, true);
    if (!field) {
        throwException("java/lang/NoSuchFieldError", name);
        return nullptr;
    }
    return reinterpret_cast<jfieldID>(field);
}

jobject JNICALL GetStaticObjectField(JNIEnv*, jclass, jfieldID id)
{
    SLOT_ENTRY(GetStaticObjectField);
    auto* field = reinterpret_cast<FieldInfo*>(id);
    if (!field)
        fail("GetStaticObjectField with a null field id");
    return localReference(field->value);
}

void JNICALL SetStaticObjectField(JNIEnv*, jclass, jfieldID id, jobject value)
{
    SLOT_ENTRY(SetStaticObjectField);
    auto* field = reinterpret_cast<FieldInfo*>(id);
    if (!field)
        fail("SetStaticObjectField with a null field id");
    field->value = fromReference(value);
    std::string shown = "null";
    if (field->value && field->value->kind == ObjectKind::String)
        shown = toUtf8(field->value->text);
    const std::string owner = field->owner->name.substr(field->owner->name.find_last_of('/') + 1);
    trace(owner + "." + field->name + ": " + shown);
}

// --- strings -------------------------------------------------------------------------------------

jstring JNICALL NewString(JNIEnv*, const jchar* characters, jsize length)
{
    SLOT_ENTRY(NewString);
    if (length < 0 || (length > 0 && !characters))
        fail("NewString with a negative length or no characters");
    if (failsNow("NewString"))
        return nullptr;
    return local<jstring>(
        newString(std::u16string(reinterpret_cast<const char16_t*>(characters), static_cast<size_t>(length))));
}

jsize JNICALL GetStringLength(JNIEnv*, jstring value)
{
    SLOT_ENTRY(GetStringLength);
    return static_cast<jsize>(stringOf(value, "GetStringLength")->text.size());
}

const jchar* JNICALL GetStringChars(JNIEnv*, jstring value, jboolean* isCopy)
{
    SLOT_ENTRY(GetStringChars);
    Object* string = stringOf(value, "GetStringChars");
    if (failsNow("GetStringChars"))
        return nullptr;
    // A copy, as a real VM may hand out: a caller that reads past the length or writes
    // into it does not corrupt the string.
    auto* copy = new jchar[string->text.size() + 1];
    std::memcpy(copy, string->text.data(), string->text.size() * sizeof(jchar));
    copy[string->text.size()] = 0;
    if (isCopy)
        *isCopy = JNI_TRUE;
    pin(copy, string);
    return copy;
}

void JNICALL ReleaseStringChars(JNIEnv*, jstring, const jchar* characters)
{
    unpin(characters, "ReleaseStringChars");
    delete[] characters;
}

jstring JNICALL NewStringUTF(JNIEnv*, const char* bytes)
{
    SLOT_ENTRY(NewStringUTF);
    if (!bytes)
        return nullptr;
    if (failsNow("NewStringUTF"))
        return nullptr;
    return local<jstring>(newString(decodeModifiedUtf8(bytes)));
}

jsize JNICALL GetStringUTFLength(JNIEnv*, jstring value)
{
    SLOT_ENTRY(GetStringUTFLength);
    return static_cast<jsize>(encodeModifiedUtf8(stringOf(value, "GetStringUTFLength")->text).size());
}

const char* JNICALL GetStringUTFChars(JNIEnv*, jstring value, jboolean* isCopy)
{
    SLOT_ENTRY(GetStringUTFChars);
    const std::string bytes = encodeModifiedUtf8(stringOf(value, "GetStringUTFChars")->text);
    auto* copy = new char[bytes.size() + 1];
    std::memcpy(copy, bytes.c_str(), bytes.size() + 1);
    if (isCopy)
        *isCopy = JNI_TRUE;
    return copy;
}

void JNICALL ReleaseStringUTFChars(JNIEnv*, jstring, const char* bytes) { delete[] bytes; }

void JNICALL GetStringRegion(JNIEnv*, jstring value, jsize start, jsize length, jchar* buffer)
{
    SLOT_ENTRY(GetStringRegion);
    const std::u16string& text = stringOf(value, "GetStringRegion")->text;
    if (start < 0 || length < 0 || static_cast<size_t>(start) + static_cast<size_t>(length) > text.size()) {
        throwException("java/lang/StringIndexOutOfBoundsException", std::to_string(start));
        return;
    }
    std::memcpy(buffer, text.data() + start, static_cast<size_t>(length) * sizeof(jchar));
}

// --- arrays --------------------------------------------------------------------------------------

jsize JNICALL GetArrayLength(JNIEnv*, jarray array)
{
    SLOT_ENTRY(GetArrayLength);
    Object* value = arrayOf(array, "GetArrayLength");
    if (value->primitive)
        return static_cast<jsize>(value->bytes.size() / primitiveSize(value->primitive));
    return static_cast<jsize>(value->elements.size());
}

jobjectArray JNICALL NewObjectArray(JNIEnv*, jsize length, jclass elementType, jobject initial)
{
    SLOT_ENTRY(NewObjectArray);
    if (length < 0) {
        throwException("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    ClassInfo* type = classOf(elementType);
    if (failsNow("NewObjectArray"))
        return nullptr;
    Object* array = newArray(type, static_cast<size_t>(length));
    for (Object*& element : array->elements)
        element = fromReference(initial);
    return local<jobjectArray>(array);
}

bool indexInRange(Object* array, jsize index)
{
    if (index >= 0 && static_cast<size_t>(index) < array->elements.size())
        return true;
    throwException("java/lang/ArrayIndexOutOfBoundsException",
                   "Index " + std::to_string(index) + " out of bounds for length " +
                       std::to_string(array->elements.size()));
    return false;
}

jobject JNICALL GetObjectArrayElement(JNIEnv*, jobjectArray array, jsize index)
{
    SLOT_ENTRY(GetObjectArrayElement);
    Object* value = objectArrayOf(array, "GetObjectArrayElement");
    return indexInRange(value, index) ? localReference(value->elements[static_cast<size_t>(index)]) : nullptr;
}

void JNICALL SetObjectArrayElement(JNIEnv*, jobjectArray array, jsize index, jobject element)
{
    SLOT_ENTRY(SetObjectArrayElement);
    Object* value = objectArrayOf(array, "SetObjectArrayElement");
    if (!indexInRange(value, index))
        return;
    Object* item = fromReference(element);
    if (item && !(item->type && isSubclassOf(item->type, value->elementType))) {
        throwException("java/lang/ArrayStoreException", dotted(item->type ? item->type->name : "?"));
        return;
    }
    value->elements[static_cast<size_t>(index)] = item;
}

// --- objects the natives construct --------------------------------------------------------------

jobject JNICALL NewObjectA(JNIEnv*, jclass type, jmethodID id, const jvalue* arguments)
{
    SLOT_ENTRY(NewObjectA);
    ClassInfo* info = classOf(type);
    auto* method = reinterpret_cast<MethodInfo*>(id);
    if (!method || method->name != "<init>" || !isSubclassOf(info, method->owner))
        fail("NewObjectA without a constructor of the class");
    if (failsNow("NewObjectA"))
        return nullptr;
    Object* object = newInstance(info);
    method->body(object, arguments);
    return localReference(object);
}

jint JNICALL CallIntMethodA(JNIEnv*, jobject object, jmethodID method, const jvalue* arguments)
{
    SLOT_ENTRY(CallIntMethodA);
    if (!object)
        fail("CallIntMethodA on null");
    return invoke("CallIntMethodA", method, fromReference(object), arguments, false, 'I').i;
}

// --- primitive arrays ----------------------------------------------------------------------------

// Elements are handed out as copies, as a real VM may do: a native that writes into them
// without releasing them with mode 0 or JNI_COMMIT changes nothing.
template <typename Element, typename ArrayType, char Kind>
struct PrimitiveSlots {
    static Object* checked(ArrayType array, const char* slot)
    {
        Object* value = arrayOf(array, slot);
        if (value->primitive != Kind)
            fail(std::string(slot) + " on an array of another kind");
        return value;
    }

    static ArrayType JNICALL New(JNIEnv*, jsize length)
    {
        requireNoPendingException("New<Type>Array");
        if (length < 0) {
            throwException("java/lang/NegativeArraySizeException", std::to_string(length));
            return nullptr;
        }
        if (failsNow("New<Type>Array"))
            return nullptr;
        return local<ArrayType>(newPrimitiveArray(Kind, static_cast<size_t>(length)));
    }

    static Element* JNICALL GetElements(JNIEnv*, ArrayType array, jboolean* isCopy)
    {
        requireNoPendingException("Get<Type>ArrayElements");
        Object* value = checked(array, "Get<Type>ArrayElements");
        if (failsNow("Get<Type>ArrayElements"))
            return nullptr;
        auto* copy = new Element[value->bytes.size() / sizeof(Element) + 1];
        std::memcpy(copy, value->bytes.data(), value->bytes.size());
        if (isCopy)
            *isCopy = JNI_TRUE;
        pin(copy, value);
        return copy;
    }

    static void JNICALL ReleaseElements(JNIEnv*, ArrayType array, Element* elements, jint mode)
    {
        Object* value = checked(array, "Release<Type>ArrayElements");
        if (mode != 0 && mode != JNI_COMMIT && mode != JNI_ABORT)
            fail("Release<Type>ArrayElements with an unknown mode");
        const auto found = g_pinned.find(elements);
        if (found == g_pinned.end() || found->second != value)
            fail("Release<Type>ArrayElements of elements not handed out for this array");
        if (mode != JNI_ABORT)
            std::memcpy(value->bytes.data(), elements, value->bytes.size());
        if (mode != JNI_COMMIT) {
            g_pinned.erase(found);
            delete[] elements;
        }
    }

    static bool inRange(Object* value, jsize start, jsize length)
    {
        const size_t count = value->bytes.size() / sizeof(Element);
        if (start >= 0 && length >= 0 && static_cast<size_t>(start) + static_cast<size_t>(length) <= count)
            return true;
        throwException("java/lang/ArrayIndexOutOfBoundsException", std::to_string(start));
        return false;
    }

    static void JNICALL GetRegion(JNIEnv*, ArrayType array, jsize start, jsize length, Element* buffer)
    {
        requireNoPendingException("Get<Type>ArrayRegion");
        Object* value = checked(array, "Get<Type>ArrayRegion");
        if (inRange(value, start, length) && length > 0)
            std::memcpy(buffer, value->bytes.data() + start * sizeof(Element), length * sizeof(Element));
    }

    static void JNICALL SetRegion(JNIEnv*, ArrayType array, jsize start, jsize length, const Element* buffer)
    {
        requireNoPendingException("Set<Type>ArrayRegion");
        Object* value = checked(array, "Set<Type>ArrayRegion");
        if (inRange(value, start, length) && length > 0)
            std::memcpy(value->bytes.data() + start * sizeof(Element), buffer, length * sizeof(Element));
    }
};

#define SLDK_PRIMITIVE_SLOTS(Type, Element, Kind)                                              \
    using Type##Slots = PrimitiveSlots<Element, Element##Array, Kind>;                         \
    table.New##Type##Array = Type##Slots::New;                                                 \
    table.Get##Type##ArrayElements = Type##Slots::GetElements;                                 \
    table.Release##Type##ArrayElements = Type##Slots::ReleaseElements;                         \
    table.Get##Type##ArrayRegion = Type##Slots::GetRegion;                                     \
    table.Set##Type##ArrayRegion = Type##Slots::SetRegion

// --- natives, the VM ------------------------------------------------------------------------

jint JNICALL RegisterNatives(JNIEnv*, jclass type, const JNINativeMethod* methods, jint count)
{
    SLOT_ENTRY(RegisterNatives);
    ClassInfo* info = classOf(type);
    if (count < 0 || (count > 0 && !methods))
        fail("RegisterNatives with a negative count or no table");
    if (failsNow("RegisterNatives"))
        return JNI_ERR;
    // A real VM checks the whole table before it binds any of it.
    for (jint i = 0; i < count; ++i) {
        const JNINativeMethod& method = methods[i];
        if (!method.name || !method.signature || !method.fnPtr) {
            throwException("java/lang/NoSuchMethodError", method.name ? method.name : "(null)");
            return JNI_ERR;
        }
    }
    for (jint i = 0; i < count; ++i) {
        const JNINativeMethod& method = methods[i];
        info->natives.push_back({method.name, method.signature, method.fnPtr});
        trace("natives: " + info->name + " " + method.name + " " + method.signature);
    }
    return JNI_OK;
}

jint JNICALL UnregisterNatives(JNIEnv*, jclass type)
{
    SLOT_ENTRY(UnregisterNatives);
    classOf(type)->natives.clear();
    trace("unregister-natives: " + classOf(type)->name);
    return JNI_OK;
}

jint JNICALL GetJavaVM(JNIEnv*, JavaVM** vm)
{
    SLOT_ENTRY(GetJavaVM);
    *vm = javaVm();
    return *vm ? JNI_OK : JNI_ERR;
}

JNINativeInterface_ buildTable()
{
    JNINativeInterface_ table{};
    static constexpr auto traps = makeTraps(std::make_index_sequence<kSlotCount>{});
    void** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 0; i < kSlotCount; ++i)
        slots[i] = reinterpret_cast<void*>(traps[i]);

    table.GetVersion = GetVersion;
    table.FindClass = FindClass;
    table.GetSuperclass = GetSuperclass;
    table.IsAssignableFrom = IsAssignableFrom;
    table.Throw = Throw;
    table.ThrowNew = ThrowNew;
    table.ExceptionOccurred = ExceptionOccurred;
    table.ExceptionDescribe = ExceptionDescribe;
    table.ExceptionClear = ExceptionClear;
    table.ExceptionCheck = ExceptionCheck;
    table.FatalError = FatalError;
    table.PushLocalFrame = PushLocalFrame;
    table.PopLocalFrame = PopLocalFrame;
    table.NewGlobalRef = NewGlobalRef;
    table.DeleteGlobalRef = DeleteGlobalRef;
    table.DeleteLocalRef = DeleteLocalRef;
    table.IsSameObject = IsSameObject;
    table.NewLocalRef = NewLocalRef;
    table.EnsureLocalCapacity = EnsureLocalCapacity;
    table.GetObjectClass = GetObjectClass;
    table.IsInstanceOf = IsInstanceOf;
    table.GetMethodID = GetMethodID;
    table.CallObjectMethodA = CallObjectMethodA;
    table.GetStaticMethodID = GetStaticMethodID;
    table.CallStaticObjectMethodA = CallStaticObjectMethodA;
    table.CallStaticBooleanMethodA = CallStaticBooleanMethodA;
    table.CallStaticIntMethodA = CallStaticIntMethodA;
    table.CallStaticVoidMethodA = CallStaticVoidMethodA;
    table.GetStaticFieldID = GetStaticFieldID;
    table.GetStaticObjectField = GetStaticObjectField;
    table.SetStaticObjectField = SetStaticObjectField;
    table.NewString = NewString;
    table.GetStringLength = GetStringLength;
    table.GetStringChars = GetStringChars;
    table.ReleaseStringChars = ReleaseStringChars;
    table.NewStringUTF = NewStringUTF;
    table.GetStringUTFLength = GetStringUTFLength;
    table.GetStringUTFChars = GetStringUTFChars;
    table.ReleaseStringUTFChars = ReleaseStringUTFChars;
    table.GetStringRegion = GetStringRegion;
    table.GetArrayLength = GetArrayLength;
    table.NewObjectArray = NewObjectArray;
    table.GetObjectArrayElement = GetObjectArrayElement;
    table.SetObjectArrayElement = SetObjectArrayElement;
    table.NewObjectA = NewObjectA;
    table.CallIntMethodA = CallIntMethodA;
    SLDK_PRIMITIVE_SLOTS(Boolean, jboolean, 'Z');
    SLDK_PRIMITIVE_SLOTS(Byte, jbyte, 'B');
    SLDK_PRIMITIVE_SLOTS(Char, jchar, 'C');
    SLDK_PRIMITIVE_SLOTS(Short, jshort, 'S');
    SLDK_PRIMITIVE_SLOTS(Int, jint, 'I');
    SLDK_PRIMITIVE_SLOTS(Long, jlong, 'J');
    SLDK_PRIMITIVE_SLOTS(Float, jfloat, 'F');
    SLDK_PRIMITIVE_SLOTS(Double, jdouble, 'D');
    table.RegisterNatives = RegisterNatives;
    table.UnregisterNatives = UnregisterNatives;
    table.GetJavaVM = GetJavaVM;
    return table;
}

const JNINativeInterface_ g_table = buildTable();
JNIEnv g_environment{&g_table};

} // namespace

JNIEnv* environment() { return &g_environment; }

jobject localReference(Object* object)
{
    if (!object)
        return nullptr;
    ++g_localReferences[object];
    g_peakCount = std::max(g_peakCount, ++g_liveCount);
    return toReference(object);
}

size_t liveLocalReferences() { return g_liveCount; }
size_t peakLocalReferences() { return g_peakCount; }
void resetPeakLocalReferences() { g_peakCount = g_liveCount; }
size_t pinnedBuffers() { return g_pinned.size(); }

void clearLocalReferences()
{
    g_localReferences.clear();
    g_liveCount = 0;
    g_peakCount = 0;
}

void failCall(std::string_view slot, int callsBefore)
{
    g_failingSlot = slot;
    g_callsBeforeFailure = callsBefore;
}

bool failsNow(const char* slot)
{
    if (g_failingSlot.empty() || g_failingSlot != slot)
        return false;
    if (g_callsBeforeFailure-- > 0)
        return false;
    g_failingSlot.clear();
    throwException(std::string(slot) == "RegisterNatives" ? "java/lang/NoSuchMethodError"
                                                           : "java/lang/OutOfMemoryError",
                   slot);
    return true;
}

const char* environmentSlotName(size_t index) { return index < kSlotCount ? kSlotNames[index] : nullptr; }

void* environmentSlot(std::string_view name)
{
    const void* const* slots = reinterpret_cast<const void* const*>(&g_table);
    for (size_t i = 0; i < kSlotCount; ++i)
        if (name == kSlotNames[i])
            return const_cast<void*>(slots[i]);
    return nullptr;
}

} // namespace standin
