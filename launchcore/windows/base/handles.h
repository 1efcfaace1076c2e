// Move-only owners for Windows handles. The traits name the "empty" value; closing keeps
// GetLastError() intact so code can store a handle and then read the error.
#pragma once

#include <windows.h>

#include <utility>

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
} // namespace handle_traits

using unique_handle = unique_any<handle_traits::kernel>;     // events, processes, threads, pipes
using unique_file = unique_any<handle_traits::file>;         // CreateFile results
using unique_find = unique_any<handle_traits::find>;         // FindFirstFile results
using unique_hkey = unique_any<handle_traits::hkey>;
using unique_sc_handle = unique_any<handle_traits::sc_handle>;
using unique_hmodule = unique_any<handle_traits::hmodule>;
using unique_local_mem = unique_any<handle_traits::local_mem>;

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
