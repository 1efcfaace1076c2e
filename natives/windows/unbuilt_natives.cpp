// Every native whose family is not built yet, in one place. Each one exists, so that the
// export table and the registration are complete, and answers with its family's failure
// value without doing anything: false, null, an error code, or an error text. A family's
// source takes its natives over from here when it is built.
#include <windows.h>

#include "natives/windows/native_export.h"

#define SLDK_NOT_BUILT_YET(ReturnType, Class, method) SLDK_NATIVE_EXPORT(ReturnType, Class, method)

// --- ShellLink, VistaFileChooser, VistaTaskDialog, ObjectPicker ------------------------------
SLDK_NOT_BUILT_YET(jboolean, ShellLink, createWide0)(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jstring,
                                                     jboolean, jstring, jint)
{
    return JNI_FALSE;
}
SLDK_NOT_BUILT_YET(jboolean, ShellLink, create0)(JNIEnv*, jobject, jstring, jbyteArray, jbyteArray, jbyteArray,
                                                 jbyteArray, jboolean, jbyteArray)
{
    return JNI_FALSE;
}
SLDK_NOT_BUILT_YET(jboolean, ShellLink, changeNotify0)(JNIEnv*, jobject, jbyteArray, jbyteArray) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jboolean, ShellLink, initialize0)(JNIEnv*, jobject) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(jboolean, ShellLink, uninitialize)(JNIEnv*, jobject) { return JNI_FALSE; }
SLDK_NOT_BUILT_YET(void, VistaFileChooser, initialize0)(JNIEnv*, jobject) {}
SLDK_NOT_BUILT_YET(jobjectArray, VistaFileChooser, displayDialog0)(JNIEnv*, jobject, jlong, jstring, jstring, jstring,
                                                                   jstring, jint, jint, jboolean, jstring,
                                                                   jobjectArray, jobjectArray, jint, jobjectArray,
                                                                   jbooleanArray)
{
    return nullptr;
}
// 0: the task dialog is not available.
SLDK_NOT_BUILT_YET(jint, VistaTaskDialog, show0)(JNIEnv*, jobject, jlong, jstring, jstring, jstring, jint, jint, jint,
                                                 jstring, jobjectArray, jint)
{
    return 0;
}
SLDK_NOT_BUILT_YET(jobjectArray, ObjectPicker, show0)(JNIEnv*, jobject, jboolean, jboolean, jboolean, jboolean,
                                                      jboolean)
{
    return nullptr;
}

