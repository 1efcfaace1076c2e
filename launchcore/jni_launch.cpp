#include "launchcore/jni_launch.h"

#include "launchcore/text.h"

namespace {

constexpr const char* stringClassName = "java/lang/String";
constexpr const char* mainSignature = "([Ljava/lang/String;)V";
constexpr const char* splashClassName = "com/vexon/runtime/WinLauncher";
constexpr const char* splashSignature =
    "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V";
constexpr const char* commonClassName = "com/sealdeck/runtime/installer/platform/win32/Common";
constexpr const char* winDelClassName = "com/vexon/runtime/util/WinDel";

void logLine(const JniLogSink& log, std::u16string_view line)
{
    if (log)
        log(false, line);
}

void logError(const JniLogSink& log, std::u16string_view line)
{
    if (log)
        log(true, line);
}

std::u16string ascii(std::string_view text) { return widenBytes(text); }

std::u16string number(long long value) { return widenBytes(std::to_string(value)); }

// A failed call leaves its exception pending; a caller that goes on must not carry it into
// the next JNI call.
bool failedAndCleared(JNIEnv* env)
{
    if (!env->ExceptionCheck())
        return false;
    env->ExceptionClear();
    return true;
}

void deleteLocal(JNIEnv* env, jobject reference)
{
    if (reference)
        env->DeleteLocalRef(reference);
}

// toString() of a throwable, asked while no exception is pending; empty when the call
// itself fails (its exception is dropped, the original one matters).
bool throwableText(JNIEnv* env, jthrowable throwable, std::u16string& text)
{
    jclass type = env->GetObjectClass(throwable);
    if (!type)
        return false;
    jmethodID toString = env->GetMethodID(type, "toString", "()Ljava/lang/String;");
    env->DeleteLocalRef(type);
    if (failedAndCleared(env) || !toString)
        return false;
    jvalue none[1] = {};
    auto value = static_cast<jstring>(env->CallObjectMethodA(throwable, toString, none));
    if (failedAndCleared(env) || !value) {
        deleteLocal(env, value);
        return false;
    }
    const jsize length = env->GetStringLength(value);
    const jchar* chars = env->GetStringChars(value, nullptr);
    bool ok = false;
    if (chars) {
        text.assign(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(length));
        env->ReleaseStringChars(value, chars);
        ok = true;
    } else {
        failedAndCleared(env);
    }
    env->DeleteLocalRef(value);
    return ok;
}

} // namespace

VmInitArguments::VmInitArguments(const std::vector<std::string>& options) : texts_(options)
{
    options_.reserve(texts_.size());
    for (std::string& text : texts_) {
        JavaVMOption option{};
        option.optionString = text.data();
        option.extraInfo = nullptr;
        options_.push_back(option);
    }
    args_.version = JNI_VERSION_1_2;
    args_.nOptions = static_cast<jint>(options_.size());
    args_.options = options_.empty() ? nullptr : options_.data();
    args_.ignoreUnrecognized = JNI_TRUE;
}

const char* launcherClassName(bool sealdeckKind)
{
    return sealdeckKind ? "com/sealdeck/runtime/launcher/WinLauncher" : "com/vexon/runtime/WinLauncher";
}

StaticMethodLookup findStaticMethod(JNIEnv* env, const char* className, const char* name, const char* signature,
                                    jclass& foundClass, jmethodID& method)
{
    foundClass = nullptr;
    method = nullptr;
    jclass type = env->FindClass(className);
    if (failedAndCleared(env) || !type) {
        deleteLocal(env, type);
        return StaticMethodLookup::ClassMissing;
    }
    jmethodID id = env->GetStaticMethodID(type, name, signature);
    if (failedAndCleared(env) || !id) {
        env->DeleteLocalRef(type);
        return StaticMethodLookup::MethodMissing;
    }
    foundClass = type;
    method = id;
    return StaticMethodLookup::Found;
}

jstring newJavaString(JNIEnv* env, std::u16string_view text)
{
    static_assert(sizeof(jchar) == sizeof(char16_t));
    jstring value = env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
    if (env->ExceptionCheck()) {
        deleteLocal(env, value);
        return nullptr;
    }
    return value;
}

jobjectArray newStringArray(JNIEnv* env, const std::vector<std::u16string>& texts)
{
    jclass stringClass = env->FindClass(stringClassName);
    if (env->ExceptionCheck() || !stringClass)
        return nullptr;
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(texts.size()), stringClass, nullptr);
    env->DeleteLocalRef(stringClass);
    if (env->ExceptionCheck() || !array) {
        deleteLocal(env, array);
        return nullptr;
    }
    for (size_t i = 0; i < texts.size(); ++i) {
        jstring element = newJavaString(env, texts[i]);
        if (!element) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(i), element);
        // A long argument list must not exhaust the thread's local reference slots.
        env->DeleteLocalRef(element);
        if (env->ExceptionCheck()) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
    }
    return array;
}

bool reportPendingException(JNIEnv* env, const JniLogSink& log)
{
    jthrowable pending = env->ExceptionOccurred();
    if (!pending)
        return false;
    // Nothing but the exception functions may run while it is pending, so take it off the
    // thread, ask for its text, and hand it back for the stack trace.
    env->ExceptionClear();
    logError(log, u"an exception occurred");
    std::u16string text;
    if (throwableText(env, pending, text))
        logError(log, text);
    env->Throw(pending);
    env->ExceptionDescribe();
    env->ExceptionClear();
    env->DeleteLocalRef(pending);
    return true;
}

MainResult callLauncherMain(JNIEnv* env, const char* className, const std::vector<std::u16string>& arguments,
                            const JniLogSink& log)
{
    logLine(log, u"main class: " + ascii(className));
    jclass launcher = nullptr;
    jmethodID main = nullptr;
    switch (findStaticMethod(env, className, "main", mainSignature, launcher, main)) {
    case StaticMethodLookup::ClassMissing:
        logError(log, u"could not find main class");
        return MainResult::ClassMissing;
    case StaticMethodLookup::MethodMissing:
        logError(log, u"could not find main method");
        return MainResult::MethodMissing;
    case StaticMethodLookup::Found:
        break;
    }
    logLine(log, u"param count: " + number(static_cast<long long>(arguments.size())));
    for (size_t i = 0; i < arguments.size(); ++i)
        logLine(log, u"param " + number(static_cast<long long>(i)) + u": " + arguments[i]);
    jobjectArray array = newStringArray(env, arguments);
    if (!array) {
        logError(log, u"could not create argument array");
        reportPendingException(env, log);
        env->DeleteLocalRef(launcher);
        return MainResult::ArgumentsFailed;
    }
    logLine(log, u"calling main");
    jvalue parameters[1];
    parameters[0].l = array;
    env->CallStaticVoidMethodA(launcher, main, parameters);
    logLine(log, u"main returned");
    const bool threw = reportPendingException(env, log);
    env->DeleteLocalRef(array);
    env->DeleteLocalRef(launcher);
    return threw ? MainResult::Threw : MainResult::Returned;
}

void callSplashConfig(JNIEnv* env, bool flag, const SplashGroup (&groups)[4], const JniLogSink& log)
{
    jclass launcher = nullptr;
    jmethodID method = nullptr;
    switch (findStaticMethod(env, splashClassName, "initAwtSplashConfig", splashSignature, launcher, method)) {
    case StaticMethodLookup::ClassMissing:
        logError(log, u"could not find main class for splash properties");
        return;
    case StaticMethodLookup::MethodMissing:
        logError(log, u"could not find method for splash properties");
        return;
    case StaticMethodLookup::Found:
        break;
    }
    jstring texts[4] = {};
    bool stringsMade = true;
    for (int i = 0; i < 4 && stringsMade; ++i) {
        texts[i] = newJavaString(env, groups[i].text);
        stringsMade = texts[i] != nullptr;
    }
    if (stringsMade) {
        jvalue parameters[14];
        parameters[0].z = JNI_TRUE;
        parameters[1].z = flag ? JNI_TRUE : JNI_FALSE;
        for (int i = 0; i < 4; ++i) {
            parameters[2 + 3 * i].l = texts[i];
            parameters[3 + 3 * i].i = groups[i].first;
            parameters[4 + 3 * i].i = groups[i].second;
        }
        env->CallStaticVoidMethodA(launcher, method, parameters);
    }
    reportPendingException(env, log);
    for (jstring text : texts)
        deleteLocal(env, text);
    env->DeleteLocalRef(launcher);
}

bool registerInstallerNatives(JNIEnv* env, const std::function<bool(JNIEnv*)>& registerHelper,
                              const JniLogSink& log)
{
    jclass common = nullptr;
    jmethodID init = nullptr;
    switch (findStaticMethod(env, commonClassName, "initFromLauncher", "(Z)V", common, init)) {
    case StaticMethodLookup::ClassMissing:
        logError(log, u"did not find com/sealdeck/runtime/installer/platform/win32/Common");
        return false;
    case StaticMethodLookup::MethodMissing:
        logError(log, u"did not find initMethod");
        return false;
    case StaticMethodLookup::Found:
        break;
    }
    jvalue registered[1];
    registered[0].z = JNI_TRUE;
    env->CallStaticVoidMethodA(common, init, registered);
    reportPendingException(env, log);
    if (!registerHelper(env)) {
        logError(log, u"registering helper dll failed");
        // The helper may have failed half way through RegisterNatives.
        failedAndCleared(env);
        registered[0].z = JNI_FALSE;
        env->CallStaticVoidMethodA(common, init, registered);
        reportPendingException(env, log);
    }
    env->DeleteLocalRef(common);
    return true;
}

void setWinDelExecutable(JNIEnv* env, std::u16string_view executable, const JniLogSink& log)
{
    jclass winDel = env->FindClass(winDelClassName);
    if (failedAndCleared(env) || !winDel) {
        logError(log, u"did not find WinDel class");
        deleteLocal(env, winDel);
        return;
    }
    jfieldID field = env->GetStaticFieldID(winDel, "externalExecutable", "Ljava/lang/String;");
    if (failedAndCleared(env) || !field) {
        logError(log, u"did not find WinDel field");
        env->DeleteLocalRef(winDel);
        return;
    }
    jstring value = newJavaString(env, executable);
    if (!value) {
        failedAndCleared(env);
        logError(log, u"could not create string for WinDel");
        env->DeleteLocalRef(winDel);
        return;
    }
    env->SetStaticObjectField(winDel, field, value);
    failedAndCleared(env);
    env->DeleteLocalRef(value);
    env->DeleteLocalRef(winDel);
}

void setModuleNameProperty(JNIEnv* env, std::u16string_view path, const JniLogSink& log)
{
    logLine(log, u"setting vexon.moduleName to " + std::u16string(path));
    jclass system = env->FindClass("java/lang/System");
    if (failedAndCleared(env) || !system) {
        logError(log, u"could not get system class");
        deleteLocal(env, system);
        return;
    }
    jmethodID setProperty =
        env->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (failedAndCleared(env) || !setProperty) {
        logError(log, u"could not get method for module name init");
        env->DeleteLocalRef(system);
        return;
    }
    jstring key = newJavaString(env, u"vexon.moduleName");
    jstring value = key ? newJavaString(env, path) : nullptr;
    if (!key || !value) {
        failedAndCleared(env);
        logError(log, u"could not create string for init module name");
        deleteLocal(env, key);
        env->DeleteLocalRef(system);
        return;
    }
    jvalue parameters[2];
    parameters[0].l = key;
    parameters[1].l = value;
    jobject previous = env->CallStaticObjectMethodA(system, setProperty, parameters);
    reportPendingException(env, log);
    deleteLocal(env, previous);
    env->DeleteLocalRef(value);
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(system);
}
