// The natives of the Win32Proxy class: the system's HTTP proxy settings through WinHTTP (the
// default configuration, the interactive user's browser configuration, and what discovery
// or a configuration script yields for one URL). Each answer goes into the String[] the Java
// side passes: "true" or "false" first, then the texts Windows gave, non-empty ones only.
//
// winhttp.h only: it cannot share a source with wininet.h.
#include <windows.h>

#include <winhttp.h>

#include <initializer_list>

#include "launchcore/windows/base/handles.h"
#include "natives/windows/native_export.h"

namespace {

// What every proxy native answers when WinHTTP cannot be used.
constexpr jint kNoWinHttp = 100000;
// A JNI call failed while the result was filled; its exception is pending.
constexpr jint kNotFilled = ERROR_NOT_ENOUGH_MEMORY;
// The stage of getAutoProxyConfig0 that failed, above the error code.
constexpr jlong kSessionStage = jlong{1} << 32;
constexpr jlong kLookupStage = jlong{2} << 32;

struct WinHttp {
    decltype(&WinHttpGetIEProxyConfigForCurrentUser) ieConfig;
    decltype(&WinHttpOpen) open;
    decltype(&WinHttpCloseHandle) close;
    decltype(&WinHttpGetProxyForUrl) proxyForUrl;
    decltype(&WinHttpGetDefaultProxyConfiguration) defaultConfig;

    bool usable() const { return ieConfig && open && close && proxyForUrl && defaultConfig; }
};

const WinHttp& winHttp()
{
    static const WinHttp binding = [] {
        constexpr const wchar_t* kLibrary = L"winhttp.dll";
        WinHttp bound{};
        bound.ieConfig = lateBound<decltype(bound.ieConfig)>(kLibrary, "WinHttpGetIEProxyConfigForCurrentUser");
        bound.open = lateBound<decltype(bound.open)>(kLibrary, "WinHttpOpen");
        bound.close = lateBound<decltype(bound.close)>(kLibrary, "WinHttpCloseHandle");
        bound.proxyForUrl = lateBound<decltype(bound.proxyForUrl)>(kLibrary, "WinHttpGetProxyForUrl");
        bound.defaultConfig = lateBound<decltype(bound.defaultConfig)>(kLibrary, "WinHttpGetDefaultProxyConfiguration");
        return bound;
    }();
    return binding;
}

bool storeAt(JNIEnv* env, jobjectArray result, jsize index, jstring text)
{
    const LocalRef<jstring> owned(env, text);
    if (!owned || exceptionPending(env))
        return false;
    env->SetObjectArrayElement(result, index, owned.get());
    return !exceptionPending(env);
}

// The flag at index 0 and the texts after it, each only where the caller's array has room;
// an absent or empty text leaves its element as it was. False when a JNI call failed.
bool fillResult(JNIEnv* env, jobjectArray result, bool flag, std::initializer_list<const wchar_t*> texts)
{
    const jsize length = env->GetArrayLength(result);
    if (exceptionPending(env))
        return false;
    if (length > 0 && !storeAt(env, result, 0, env->NewStringUTF(flag ? "true" : "false")))
        return false;
    jsize index = 1;
    for (const wchar_t* text : texts) {
        if (index >= length)
            break;
        if (text && *text && !storeAt(env, result, index, newStringUpToNul(env, text)))
            return false;
        ++index;
    }
    return true;
}

} // namespace

SLDK_NATIVE_EXPORT(jboolean, Win32Proxy, loadFunctions0)(JNIEnv*, jobject) { return toJavaBoolean(winHttp().usable()); }

SLDK_NATIVE_EXPORT(jint, Win32Proxy, getIEConfig0)(JNIEnv* env, jobject, jobjectArray result)
{
    const WinHttp& http = winHttp();
    if (!http.usable())
        return kNoWinHttp;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!http.ieConfig(&config))
        return static_cast<jint>(GetLastError());
    const unique_global_mem script(config.lpszAutoConfigUrl);
    const unique_global_mem proxy(config.lpszProxy);
    const unique_global_mem bypass(config.lpszProxyBypass);
    if (!fillResult(env, result, config.fAutoDetect,
                    {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass}))
        return kNotFilled;
    return 0;
}

SLDK_NATIVE_EXPORT(jint, Win32Proxy, getDefaultConfig0)(JNIEnv* env, jobject, jobjectArray result)
{
    const WinHttp& http = winHttp();
    if (!http.usable())
        return kNoWinHttp;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    WINHTTP_PROXY_INFO info{};
    if (!http.defaultConfig(&info))
        return static_cast<jint>(GetLastError());
    const unique_global_mem proxy(info.lpszProxy);
    const unique_global_mem bypass(info.lpszProxyBypass);
    const bool named = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    if (!fillResult(env, result, named, {info.lpszProxy, info.lpszProxyBypass}))
        return kNotFilled;
    return 0;
}

SLDK_NATIVE_EXPORT(jlong, Win32Proxy, getAutoProxyConfig0)
(JNIEnv* env, jobject, jobjectArray result, jstring targetUrl, jstring scriptUrl, jint flags, jint detectFlags,
 jboolean autoLogon)
{
    const WinHttp& http = winHttp();
    if (!http.usable())
        return kNoWinHttp;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    const JavaText url(env, targetUrl);
    const JavaText script(env, scriptUrl);
    if (!url.ok() || !script.ok())
        return kNotFilled;
    if (url.isNull())
        return 0;
    const unique_winhttp session(http.open(L"sealdeck proxy detection/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return kSessionStage + GetLastError();
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = static_cast<DWORD>(flags);
    options.dwAutoDetectFlags = static_cast<DWORD>(detectFlags);
    options.lpszAutoConfigUrl = script.wide();
    options.fAutoLogonIfChallenged = autoLogon != 0;
    WINHTTP_PROXY_INFO info{};
    if (!http.proxyForUrl(session.get(), url.wide(), &options, &info))
        return kLookupStage + GetLastError();
    const unique_global_mem proxy(info.lpszProxy);
    const unique_global_mem bypass(info.lpszProxyBypass);
    const bool named = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    if (!fillResult(env, result, named, {info.lpszProxy, info.lpszProxyBypass}))
        return kNotFilled;
    return 0;
}
