#include "natives/byte_array_text.h"

#include <algorithm>

std::string narrowTextOf(const std::vector<jbyte>& bytes)
{
    const auto end = std::find(bytes.begin(), bytes.end(), jbyte{0});
    return std::string(bytes.begin(), end);
}

std::u16string wideTextOf(const std::vector<jbyte>& bytes)
{
    std::u16string text;
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const auto low = static_cast<unsigned char>(bytes[at]);
        const auto high = static_cast<unsigned char>(bytes[at + 1]);
        const auto unit = static_cast<char16_t>(low | (high << 8));
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

ByteArrayText::ByteArrayText(JNIEnv* env, jbyteArray array, Encoding encoding)
{
    if (!array) {
        null_ = true;
        return;
    }
    // Of several arguments copied in a row, the first failed copy stops the JNI calls.
    if (env->ExceptionCheck()) {
        ok_ = false;
        return;
    }
    const jsize length = env->GetArrayLength(array);
    if (env->ExceptionCheck() || length < 0) {
        ok_ = false;
        return;
    }
    std::vector<jbyte> bytes(static_cast<size_t>(length));
    if (length > 0) {
        env->GetByteArrayRegion(array, 0, length, bytes.data());
        if (env->ExceptionCheck()) {
            ok_ = false;
            return;
        }
    }
    if (encoding == Encoding::Narrow)
        narrow_ = narrowTextOf(bytes);
    else
        wide_ = wideTextOf(bytes);
}
