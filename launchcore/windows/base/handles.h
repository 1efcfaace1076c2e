// Move-only owners for Windows handles. The traits name the "empty" value; closing keeps
// GetLastError() intact so code can store a handle and then read the error.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

#include "launchcore/windows/base/late_binding.h"

template <typename Traits>
class unique_any {
public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::invalid(); }
    pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
    void reset(pointer value = Traits::invalid()) noexcept
    {
        pointer old = std::exchange(value_, value);
        if (old != Traits::invalid()) {
            const DWORD error = GetLastError();
            Traits::close(old);
            SetLastError(error);
        }
    }
    // For out-parameters of APIs; releases the current value first.
    pointer* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

namespace handle_traits {
struct kernel {
    using pointer = HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { CloseHandle(h); }
};
struct file {
    using pointer = HANDLE;
    static pointer invalid() { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) { CloseHandle(h); }
};
struct find {
    using pointer = HANDLE;
    static pointer invalid() { return INVALID_HANDLE_VALUE; }
    static void close(pointer h) { FindClose(h); }
};
struct hkey {
    using pointer = HKEY;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { RegCloseKey(h); }
};
struct sc_handle {
    using pointer = SC_HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { CloseServiceHandle(h); }
};
struct hmodule {
    using pointer = HMODULE;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { FreeLibrary(h); }
};
struct local_mem {
    using pointer = HLOCAL;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { LocalFree(h); }
};
struct global_mem {
    using pointer = HGLOBAL;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { GlobalFree(h); }
};

struct cotask_mem {
    using pointer = void*;
    static pointer invalid() { return nullptr; }
    static void close(pointer p) { CoTaskMemFree(p); }
};

template <typename Interface>
struct com {
    using pointer = Interface*;
    static pointer invalid() { return nullptr; }
    static void close(pointer p) { p->Release(); }
};
// HINTERNET is spelled void* here: wininet.h and winhttp.h cannot share a translation unit.
// Both libraries are late bound, and so are their close functions; a handle exists only
// when the library was loaded, so the lookup finds it.
struct internet {
    using pointer = void*;
    static pointer invalid() { return nullptr; }
    static void close(pointer h)
    {
        if (const auto close = lateBound<BOOL(WINAPI*)(void*)>(L"wininet.dll", "InternetCloseHandle"))
            close(h);
    }
};
struct winhttp {
    using pointer = void*;
    static pointer invalid() { return nullptr; }
    static void close(pointer h)
    {
        if (const auto close = lateBound<BOOL(WINAPI*)(void*)>(L"winhttp.dll", "WinHttpCloseHandle"))
            close(h);
    }
};
// Buffers the network management functions allocate; netapi32 is late bound, and a buffer
// exists only when it was loaded.
struct net_buffer {
    using pointer = void*;
    static pointer invalid() { return nullptr; }
    static void close(pointer p)
    {
        if (const auto free = lateBound<DWORD(WINAPI*)(void*)>(L"netapi32.dll", "NetApiBufferFree"))
            free(p);
    }
};
// LSA_HANDLE, spelled void* to keep ntsecapi.h out of every source.
struct lsa_handle {
    using pointer = void*;
    static pointer invalid() { return nullptr; }
    static void close(pointer h)
    {
        if (const auto close = lateBound<LONG(WINAPI*)(void*)>(L"advapi32.dll", "LsaClose"))
            close(h);
    }
};
struct allocated_sid {
    using pointer = PSID;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { FreeSid(h); }
};
struct hwnd {
    using pointer = HWND;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DestroyWindow(h); }
};
struct hicon {
    using pointer = HICON;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DestroyIcon(h); }
};
template <typename Object>
struct gdi_object {
    using pointer = Object;
    static pointer invalid() { return nullptr; }
    static void close(pointer h) { DeleteObject(h); }
};
} // namespace handle_traits

using unique_handle = unique_any<handle_traits::kernel>;     // events, processes, threads, pipes
using unique_file = unique_any<handle_traits::file>;         // CreateFile results
using unique_find = unique_any<handle_traits::find>;         // FindFirstFile results
using unique_hkey = unique_any<handle_traits::hkey>;
using unique_sc_handle = unique_any<handle_traits::sc_handle>;
using unique_hmodule = unique_any<handle_traits::hmodule>;
using unique_local_mem = unique_any<handle_traits::local_mem>; // also SIDs from ConvertStringSidToSid
using unique_global_mem = unique_any<handle_traits::global_mem>; // also texts WinHTTP hands out
using unique_cotaskmem = unique_any<handle_traits::cotask_mem>; // texts the shell's COM objects hand out
template <typename Interface>
using unique_com = unique_any<handle_traits::com<Interface>>;
using unique_hinternet = unique_any<handle_traits::internet>; // InternetOpen and the handles below it
using unique_winhttp = unique_any<handle_traits::winhttp>;    // WinHttpOpen and the handles below it
using unique_sid = unique_any<handle_traits::allocated_sid>;  // AllocateAndInitializeSid results
using unique_net_buffer = unique_any<handle_traits::net_buffer>; // NetUserGetInfo and the like
using unique_lsa_handle = unique_any<handle_traits::lsa_handle>; // LsaOpenPolicy results
using unique_hwnd = unique_any<handle_traits::hwnd>;
using unique_hicon = unique_any<handle_traits::hicon>;
using unique_hgdiobj = unique_any<handle_traits::gdi_object<HGDIOBJ>>;
using unique_hfont = unique_any<handle_traits::gdi_object<HFONT>>;
using unique_hbitmap = unique_any<handle_traits::gdi_object<HBITMAP>>;
using unique_hbrush = unique_any<handle_traits::gdi_object<HBRUSH>>;

// CoInitializeEx for one scope. Only a call that succeeded (S_OK or S_FALSE) is balanced;
// RPC_E_CHANGED_MODE leaves the thread's model as it was and COM still usable.
class com_scope {
public:
    explicit com_scope(DWORD model = COINIT_APARTMENTTHREADED) noexcept : result_(CoInitializeEx(nullptr, model)) {}
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
    ~com_scope()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    HRESULT result() const noexcept { return result_; }
    bool usable() const noexcept { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// Runs a callable when the scope ends, for the odd clean-up that has no owner type.
template <typename F>
class on_scope_exit {
public:
    explicit on_scope_exit(F f) : f_(std::move(f)) {}
    on_scope_exit(const on_scope_exit&) = delete;
    on_scope_exit& operator=(const on_scope_exit&) = delete;
    ~on_scope_exit()
    {
        if (active_)
            f_();
    }
    void dismiss() { active_ = false; }

private:
    F f_;
    bool active_ = true;
};
