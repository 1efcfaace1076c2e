// The JNI half of the VM start: the init arguments, the launcher class's main, the splash
// configuration, the installer runtime's hooks and the exception report. Only JNI calls, so
// the same code runs against the Windows VM and, in the native tests, the real VM of the
// build machine.
//
// Every call that can raise a Java exception is checked, and nothing but the exception
// functions and releases is called while one is pending.
#pragma once

#include <jni.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Receives the log lines of these steps; the launcher writes them to its diagnostic log
// (isError lines get the error prefix there).
using JniLogSink = std::function<void(bool isError, std::u16string_view line)>;

// JavaVMInitArgs over an owned copy of the options. The VM may keep pointers into the
// strings, so the launcher keeps its instance until the process ends; not copyable because
// the arguments point into it.
class VmInitArguments {
public:
    explicit VmInitArguments(const std::vector<std::string>& options);
    VmInitArguments(const VmInitArguments&) = delete;
    VmInitArguments& operator=(const VmInitArguments&) = delete;

    JavaVMInitArgs* get() { return &args_; }
    const std::vector<std::string>& texts() const { return texts_; }

private:
    std::vector<std::string> texts_;
    std::vector<JavaVMOption> options_;
    JavaVMInitArgs args_{};
};

// The launcher class of the product kind.
const char* launcherClassName(bool sealdeckKind);

enum class StaticMethodLookup { Found, ClassMissing, MethodMissing };

// FindClass and GetStaticMethodID; a lookup failure clears the exception the VM raised.
StaticMethodLookup findStaticMethod(JNIEnv* env, const char* className, const char* name, const char* signature,
                                    jclass& foundClass, jmethodID& method);

// A Java string of UTF-16 text; nullptr with the exception left pending when it fails.
jstring newJavaString(JNIEnv* env, std::u16string_view text);

// A String[] of the texts; nullptr with the exception left pending when the array or an
// element cannot be made.
jobjectArray newStringArray(JNIEnv* env, const std::vector<std::u16string>& texts);

// When an exception is pending: logs "an exception occurred" and the exception's toString()
// as error lines, prints the stack trace and clears it. True when one was pending.
bool reportPendingException(JNIEnv* env, const JniLogSink& log);

enum class MainResult { Returned, ClassMissing, MethodMissing, ArgumentsFailed, Threw };

// Looks up the static main of the class, builds the String[] and calls it, logging every
// step. ClassMissing and MethodMissing are the caller's to make fatal.
MainResult callLauncherMain(JNIEnv* env, const char* className, const std::vector<std::u16string>& arguments,
                            const JniLogSink& log);

// One splash text line part: a text and two integers.
struct SplashGroup {
    std::u16string text;
    int32_t first = 0;
    int32_t second = 0;
};

// initAwtSplashConfig of the vexon launcher class with true, the flag and four groups.
void callSplashConfig(JNIEnv* env, bool flag, const SplashGroup (&groups)[4], const JniLogSink& log);

// initFromLauncher(true) of the installer runtime's Common class, then registerHelper; when
// that fails, initFromLauncher(false). Returns whether registerHelper ran.
bool registerInstallerNatives(JNIEnv* env, const std::function<bool(JNIEnv*)>& registerHelper,
                              const JniLogSink& log);

// Sets WinDel.externalExecutable to the launcher's path.
void setWinDelExecutable(JNIEnv* env, std::u16string_view executable, const JniLogSink& log);

// System.setProperty("vexon.moduleName", path): the exact Unicode path, where the option
// list could carry only an 8-bit form.
void setModuleNameProperty(JNIEnv* env, std::u16string_view path, const JniLogSink& log);
