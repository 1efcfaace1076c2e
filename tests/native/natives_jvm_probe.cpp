// The natives' JNI conventions against the build machine's real Java VM with -Xcheck:jni.
// Prints "CHECK <name> ok" or "CHECK <name> FAIL <detail>" per check and "DONE" at the end;
// the VM's own complaints (-Xcheck:jni warnings) go to the same streams.
//
// probe <libjvm.so>
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <vector>

#include "natives/byte_array_text.h"
#include "natives/jni_conventions.h"

namespace {

using CreateJavaVm = jint (*)(JavaVM**, void**, void*);

void report(const char* name, bool ok, const std::string& detail = {})
{
    std::printf("CHECK %s %s%s%s\n", name, ok ? "ok" : "FAIL", detail.empty() ? "" : " ", detail.c_str());
    std::fflush(stdout);
}

void checkStrings(JNIEnv* env)
{
    const std::u16string tricky(u"a\0b\U0001F600\u00e9", 6);
    for (const std::u16string& text : {std::u16string(), tricky}) {
        LocalRef<jstring> value(env, newJavaString(env, text));
        JavaText copy(env, value.get());
        report(text.empty() ? "empty-string" : "non-bmp-string",
               value && copy.ok() && !copy.isNull() && copy.view() == text && copy.get()[text.size()] == 0);
    }
    JavaText none(env, nullptr);
    report("null-string", none.ok() && none.isNull() && none.get() == nullptr);
    LocalRef<jstring> cut(env, newStringUpToNul(env, u"ab\0cd"));
    report("string-up-to-nul", cut && env->GetStringLength(cut.get()) == 2);
}

void checkArrays(JNIEnv* env)
{
    for (size_t count : {size_t{0}, size_t{10000}}) {
        std::vector<std::u16string> texts;
        for (size_t i = 0; i < count; ++i)
            texts.push_back(u"\U0001F600 " + std::u16string(i % 5, u'x'));
        LocalRef<jobjectArray> array(env, newStringArray(env, texts));
        std::vector<std::optional<std::u16string>> read;
        const bool ok = array && env->GetArrayLength(array.get()) == static_cast<jsize>(count) &&
                        readStringArray(env, array.get(), read) && read.size() == count &&
                        (count == 0 || read.back() == texts.back());
        report(count == 0 ? "array-0" : "array-10000", ok);
    }
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    LocalRef<jobjectArray> withNull(env, env->NewObjectArray(2, stringClass.get(), nullptr));
    std::vector<std::optional<std::u16string>> read;
    report("array-null-element", withNull && readStringArray(env, withNull.get(), read) && read.size() == 2 &&
                                     !read[0] && !read[1]);
    report("array-null", !readStringArray(env, nullptr, read) && !exceptionPending(env));
}

void checkObjects(JNIEnv* env)
{
    jvalue argument[1];
    argument[0].i = -7;
    LocalRef<jobject> integer(env, constructObject(env, kIntegerClass, argument));
    jint value = 0;
    if (integer) {
        LocalRef<jclass> type(env, env->GetObjectClass(integer.get()));
        jmethodID intValue = env->GetMethodID(type.get(), "intValue", "()I");
        value = intValue ? env->CallIntMethodA(integer.get(), intValue, nullptr) : 0;
        if (exceptionPending(env))
            value = 0;
    }
    report("integer", integer && value == -7 && isInstanceOf(env, integer.get(), "java/lang/Number"));
    LocalRef<jobject> missing(env, constructObject(env, kWindowInfoClass, nullptr));
    const bool pending = exceptionPending(env);
    env->ExceptionClear();
    report("missing-class", !missing && pending);
}

// Byte arrays copied, never pinned: an unterminated one and UTF-16 of odd length.
void checkByteArrays(JNIEnv* env)
{
    const jbyte bytes[] = {'C', 0, ':', 0, 'x'};
    LocalRef<jbyteArray> array(env, env->NewByteArray(5));
    env->SetByteArrayRegion(array.get(), 0, 5, bytes);
    const ByteArrayText narrow(env, array.get(), ByteArrayText::Encoding::Narrow);
    const ByteArrayText wide(env, array.get(), ByteArrayText::Encoding::Utf16LittleEndian);
    report("byte-array-text", narrow.ok() && std::string(narrow.narrow()) == "C" && wide.ok() &&
                                  std::u16string(wide.wide()) == u"C:" && !exceptionPending(env));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <libjvm>\n", argv[0]);
        return 64;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL);
    auto create = library ? reinterpret_cast<CreateJavaVm>(dlsym(library, "JNI_CreateJavaVM")) : nullptr;
    if (!create) {
        std::fprintf(stderr, "no VM library: %s\n", dlerror());
        return 65;
    }
    VmInitArguments initArguments({"-Xcheck:jni"});
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), initArguments.get()) != JNI_OK)
        return 66;
    checkStrings(env);
    checkArrays(env);
    checkObjects(env);
    checkByteArrays(env);
    std::printf("DONE\n");
    std::fflush(stdout);
    vm->DestroyJavaVM();
    return 0;
}
