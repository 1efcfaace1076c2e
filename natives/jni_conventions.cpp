#include "natives/jni_conventions.h"

#include <algorithm>

namespace {

void wipe(std::u16string& text)
{
    volatile char16_t* unit = text.data();
    for (size_t i = 0; i < text.size(); ++i)
        unit[i] = 0;
}

} // namespace

JavaText::JavaText(JNIEnv* env, jstring value)
{
    static_assert(sizeof(jchar) == sizeof(char16_t));
    if (!value)
        return;
    // A native that copies several arguments stops at the first failed copy; one that does
    // not still makes no JNI call with that exception pending.
    if (exceptionPending(env)) {
        ok_ = false;
        return;
    }
    const jsize length = env->GetStringLength(value);
    if (exceptionPending(env) || length < 0) {
        ok_ = false;
        return;
    }
    const jchar* characters = env->GetStringChars(value, nullptr);
    if (!characters) {
        ok_ = false;
        return;
    }
    text_.emplace(reinterpret_cast<const char16_t*>(characters), static_cast<size_t>(length));
    env->ReleaseStringChars(value, characters);
}

JavaText::~JavaText()
{
    if (text_)
        wipe(*text_);
}

jstring newStringUpToNul(JNIEnv* env, const char16_t* text)
{
    return newJavaString(env, text ? std::u16string_view(text) : std::u16string_view());
}

bool readStringArray(JNIEnv* env, jobjectArray array, std::vector<std::optional<std::u16string>>& texts)
{
    texts.clear();
    if (!array)
        return false;
    const jsize length = env->GetArrayLength(array);
    if (exceptionPending(env))
        return false;
    LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
    if (!stringClass || exceptionPending(env))
        return false;
    texts.reserve(static_cast<size_t>(std::max<jsize>(length, 0)));
    for (jsize i = 0; i < length; ++i) {
        LocalRef<jobject> element(env, env->GetObjectArrayElement(array, i));
        if (exceptionPending(env))
            return false;
        if (!element) {
            texts.emplace_back();
            continue;
        }
        if (!env->IsInstanceOf(element.get(), stringClass.get()))
            return false;
        JavaText text(env, static_cast<jstring>(element.get()));
        if (!text.ok())
            return false;
        texts.emplace_back(std::u16string(text.view()));
    }
    return true;
}

bool isInstanceOf(JNIEnv* env, jobject object, const char* className)
{
    if (!object)
        return false;
    LocalRef<jclass> type(env, env->FindClass(className));
    if (!type || exceptionPending(env))
        return false;
    return env->IsInstanceOf(object, type.get()) == JNI_TRUE;
}

jobject constructObject(JNIEnv* env, jclass type, const char* constructor, const jvalue* arguments)
{
    if (!type)
        return nullptr;
    jmethodID method = env->GetMethodID(type, "<init>", constructor);
    if (!method || exceptionPending(env))
        return nullptr;
    jobject object = env->NewObjectA(type, method, arguments);
    if (exceptionPending(env)) {
        if (object)
            env->DeleteLocalRef(object);
        return nullptr;
    }
    return object;
}

jobject constructObject(JNIEnv* env, const ConstructedClass& constructed, const jvalue* arguments)
{
    LocalRef<jclass> type(env, env->FindClass(constructed.name));
    if (!type || exceptionPending(env))
        return nullptr;
    return constructObject(env, type.get(), constructed.constructor, arguments);
}
