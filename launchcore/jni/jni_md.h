// Machine-dependent JNI definitions for 64-bit Windows, used with the JDK's portable jni.h
// in the mingw build. The Linux variant cannot serve: there jint is int and JNIEXPORT is a
// visibility attribute, while a Windows VM expects 32-bit long and exported symbols.
#ifndef SLDK_JNI_MD_H
#define SLDK_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
// x64 has one calling convention, so there is nothing to name.
#define JNICALL

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
