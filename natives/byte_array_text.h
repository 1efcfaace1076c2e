// Text handed to a native in a byte[]: 8-bit text in the system code page or UTF-16 in
// little-endian byte order, meant to end with a NUL. Nothing guarantees that it does, so the
// bytes are copied out of the array (never pinned) and the copy always ends in a NUL of its
// own: an array without a terminator, or of odd length for UTF-16, cannot make the Windows
// call that receives the text read past it.
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

// The text up to the first NUL, or all of it when there is none.
std::string narrowTextOf(const std::vector<jbyte>& bytes);
// The same for UTF-16 units; a last odd byte is no whole unit and is dropped.
std::u16string wideTextOf(const std::vector<jbyte>& bytes);

class ByteArrayText {
public:
    enum class Encoding { Narrow, Utf16LittleEndian };

    ByteArrayText(JNIEnv* env, jbyteArray array, Encoding encoding);
    ByteArrayText(const ByteArrayText&) = delete;
    ByteArrayText& operator=(const ByteArrayText&) = delete;

    // False when the array could not be read; an exception is then pending.
    bool ok() const { return ok_; }
    // A Java null array: the text was not given.
    bool isNull() const { return null_; }
    // Null for a null array or the other encoding.
    const char* narrow() const { return narrow_ ? narrow_->c_str() : nullptr; }
    const char16_t* wide() const { return wide_ ? wide_->c_str() : nullptr; }
#ifdef _WIN32
    const wchar_t* wideForWindows() const { return reinterpret_cast<const wchar_t*>(wide()); }
#endif

private:
    std::optional<std::string> narrow_;
    std::optional<std::u16string> wide_;
    bool ok_ = true;
    bool null_ = false;
};
