// The Registry natives in-process against the real registry: every key they touch lies below
// a key made for the test (HKCU\Software\sldk-tests-<pid>\<test>), deleted afterwards.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <algorithm>
#include <string>
#include <vector>

#include "natives/jni_conventions.h"
#include "testing/launcher_builder.h"
#include "testing/natives_harness/natives_harness.h"

using namespace natives_harness;

namespace {

constexpr jint kCurrentUser = 2;
using KeyNative = jboolean (*)(JNIEnv*, jobject, jint, jstring, jint);
using GetValue = jobject (*)(JNIEnv*, jobject, jint, jstring, jstring, jint);
using SetValue = jboolean (*)(JNIEnv*, jobject, jint, jstring, jstring, jobject, jint, jint);
using DeleteKey = void (*)(JNIEnv*, jobject, jint, jstring, jboolean, jint);
using Enumerate = jobjectArray (*)(JNIEnv*, jobject, jint, jstring, jint);

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

class RegistryNatives : public testing::Test {
protected:
    void SetUp() override
    {
        registerProgramNatives();
        base_ = L"Software\\sldk-tests-" + std::to_wstring(GetCurrentProcessId());
        path_ = base_ + L"\\" + fromUtf8(testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
        dropLocalReferences();
    }

    jstring key(const std::wstring& below = L"") const
    {
        return javaString(u16(below.empty() ? path_ : path_ + L"\\" + below));
    }
    void store(const wchar_t* name, DWORD type, const void* data, DWORD size) const
    {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    // The stored type and bytes of a value; type REG_NONE with no bytes when it is absent.
    std::pair<DWORD, std::vector<unsigned char>> stored(const wchar_t* name) const
    {
        std::vector<unsigned char> data(200000);
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        if (RegQueryValueExW(key_, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            return {REG_NONE, {}};
        data.resize(size);
        return {type, data};
    }
    bool exists(const std::wstring& below, jint root = kCurrentUser) const
    {
        return call(boundNative<KeyNative>("Registry", "keyExists0"), root, key(below), 0) == JNI_TRUE;
    }
    bool create(const std::wstring& below, jint root = kCurrentUser) const
    {
        return call(boundNative<KeyNative>("Registry", "createKey0"), root, key(below), 0) == JNI_TRUE;
    }
    jobject read(const wchar_t* name) const
    {
        return call(boundNative<GetValue>("Registry", "getValue0"), kCurrentUser, key(),
                    name ? javaString(u16(name)) : nullptr, 0);
    }
    jboolean write(const wchar_t* name, jobject value, jint kind) const
    {
        return call(boundNative<SetValue>("Registry", "setValue0"), kCurrentUser, key(), javaString(u16(name)), value,
                    kind, 0);
    }
    static std::vector<std::u16string> texts(jobject array)
    {
        std::vector<std::u16string> result;
        for (jobject element : elementsOf(array))
            result.push_back(textOf(element).value_or(u"<not a string>"));
        return result;
    }

    std::wstring base_;
    std::wstring path_;
    HKEY key_ = nullptr;
};

TEST_F(RegistryNatives, ReadsEachRegistryTypeAsItsJavaObject)
{
    const std::u16string many(50000, u'x');
    const struct {
        const wchar_t* name;
        DWORD type;
        std::u16string data; // stored as its UTF-16 units (the size below may cut it to odd bytes)
        DWORD size;
        std::u16string text;
    } strings[] = {
        {L"no terminator", REG_SZ, u"abc", 6, u"abc"},
        {L"two terminators", REG_SZ, std::u16string(u"abc\0\0", 5), 10, std::u16string(u"abc\0", 4)},
        {L"inner nul", REG_SZ, std::u16string(u"a\0b\0", 4), 8, std::u16string(u"a\0b", 3)},
        {L"empty", REG_SZ, u"", 0, u""},
    };
    for (const auto& value : strings) {
        SCOPED_TRACE(testing::Message() << "REG_SZ of " << value.size << " bytes");
        store(value.name, value.type, value.data.data(), value.size);
        EXPECT_EQ(textOf(read(value.name)), value.text);
    }

    store(L"expand", REG_EXPAND_SZ, L"%TEMP%\\x", 18);
    const jobject expand = read(L"expand");
    EXPECT_EQ(classNameOf(expand), "com/sealdeck/api/windows/WinRegistry$ExpandString");
    ASSERT_EQ(constructorArguments(expand).size(), 1u);
    EXPECT_EQ(textOf(constructorArguments(expand)[0].l), u"%TEMP%\\x"); // not expanded

    const struct {
        const wchar_t* name;
        std::u16string data;
        DWORD size;
        std::vector<std::u16string> strings;
    } lists[] = {
        {L"two", std::u16string(u"a\0b\0\0", 5), 10, {u"a", u"b"}},
        {L"inner empty", std::u16string(u"a\0\0b\0\0", 6), 12, {u"a", u"", u"b"}},
        {L"single nul", std::u16string(1, u'\0'), 2, {}},
        {L"no nul at all", u"ab", 4, {u"ab"}},
        {L"one byte", u"a", 1, {}},
        {L"full buffer without nul", many, 100000, {many}},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(testing::Message() << "REG_MULTI_SZ case of " << list.size << " bytes");
        store(list.name, REG_MULTI_SZ, list.data.data(), list.size);
        const jobject array = read(list.name);
        // Wine refuses to hand unterminated string data to a buffer with no room for a
        // terminator (ERROR_MORE_DATA); the read then fails as the buffer's limit says.
        std::vector<BYTE> buffer(100000);
        DWORD size = 100000;
        if (RegQueryValueExW(key_, list.name, nullptr, nullptr, buffer.data(), &size) == ERROR_MORE_DATA) {
            EXPECT_EQ(array, nullptr);
            continue;
        }
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(texts(array), list.strings);
    }

    const unsigned char shortDword[] = {0x34, 0x12};
    store(L"short dword", REG_DWORD, shortDword, 2);
    const DWORD dword = 0x89abcdef;
    store(L"dword", REG_DWORD, &dword, 4);
    const std::pair<const wchar_t*, jint> numbers[] = {{L"short dword", 0x1234}, {L"dword", static_cast<jint>(dword)}};
    for (const auto& [name, number] : numbers) {
        const jobject integer = read(name);
        EXPECT_EQ(classNameOf(integer), "java/lang/Integer");
        ASSERT_EQ(constructorArguments(integer).size(), 1u);
        EXPECT_EQ(constructorArguments(integer)[0].i, number);
    }

    const std::vector<unsigned char> bytes = {0, 1, 2, 0xff, 0};
    store(L"binary", REG_BINARY, bytes.data(), 5);
    EXPECT_EQ(primitiveBytes(read(L"binary")), bytes);

    const ULONGLONG qword = 7;
    store(L"qword", REG_QWORD, &qword, 8);
    const std::vector<unsigned char> tooLong(100002, 1);
    store(L"larger than the buffer", REG_BINARY, tooLong.data(), 100002);
    for (const wchar_t* none : {L"qword", L"missing", L"larger than the buffer"})
        EXPECT_EQ(read(none), nullptr);

    store(nullptr, REG_SZ, L"default", 16);
    EXPECT_EQ(textOf(read(nullptr)), u"default");
}

TEST_F(RegistryNatives, WritesEachKindOnlyWhenItFitsWhole)
{
    auto bytesOf = [](const std::u16string& text) {
        const auto* start = reinterpret_cast<const unsigned char*>(text.data());
        return std::vector<unsigned char>(start, start + text.size() * 2);
    };
    jvalue number{};
    number.i = -2;
    const jobject integer = callCode([&] { return constructObject(env(), kIntegerClass, &number); });
    const std::u16string longest(49999, u'y');
    const struct {
        const wchar_t* name;
        jobject value;
        jint kind;
        DWORD type;
        std::vector<unsigned char> data;
    } writes[] = {
        {L"string", javaString(std::u16string(u"a\0b", 3)), 1, REG_SZ, bytesOf(std::u16string(u"a\0b\0", 4))},
        {L"longest string", javaString(longest), 1, REG_SZ, bytesOf(longest + u'\0')},
        {L"integer", integer, 2, REG_DWORD, {0xfe, 0xff, 0xff, 0xff}},
        {L"list", stringArray({u"ab", u"c"}), 3, REG_MULTI_SZ, bytesOf(std::u16string(u"ab\0c\0\0", 6))},
        {L"empty list", stringArray({}), 3, REG_MULTI_SZ, {0, 0}},
        {L"bytes", primitiveArray<unsigned char>('B', {9, 0, 8}), 4, REG_BINARY, {9, 0, 8}},
        {L"expand", javaString(u"%x%"), 5, REG_EXPAND_SZ, bytesOf(std::u16string(u"%x%\0", 4))},
    };
    for (const auto& value : writes) {
        SCOPED_TRACE(testing::Message() << "kind " << value.kind << ", " << value.data.size() << " bytes");
        EXPECT_TRUE(write(value.name, value.value, value.kind));
        EXPECT_EQ(stored(value.name), std::make_pair(value.type, value.data));
    }
    EXPECT_EQ(textOf(read(L"longest string")), longest);

    // Refused: what would be cut, a list with an empty or null element, a value of another
    // class than its kind names (never touched through JNI as that class), an unknown kind.
    // The value written before stays as it was.
    store(L"kept", REG_SZ, L"old", 8);
    const auto before = stored(L"kept");
    const struct {
        const char* what;
        jobject value;
        jint kind;
    } refused[] = {
        {"60000 characters", javaString(std::u16string(60000, u'z')), 1},
        {"100001 bytes", primitiveArray('B', std::vector<unsigned char>(100001, 1)), 4},
        {"a list past 50000 characters", stringArray({std::u16string(30000, u'a'), std::u16string(20000, u'b')}), 3},
        {"an empty element", stringArray({u"a", u""}), 3},
        {"a null element", stringArray({u"a", std::nullopt}), 3},
        {"a null Integer", nullptr, 2},
        {"a String as Integer", javaString(u"5"), 2},
        {"a String as bytes", javaString(u"5"), 4},
        {"bytes as a list", primitiveArray<unsigned char>('B', {1}), 3},
        {"bytes as a string", primitiveArray<unsigned char>('B', {1}), 1},
        {"kind 6", javaString(u"x"), 6},
    };
    for (const auto& value : refused) {
        SCOPED_TRACE(value.what);
        EXPECT_FALSE(write(L"kept", value.value, value.kind));
        EXPECT_EQ(stored(L"kept"), before);
    }
}

TEST_F(RegistryNatives, KeysAndValuesAreEnumeratedWithFewLocalReferences)
{
    std::vector<std::u16string> values;
    for (int i = 0; i < 1000; ++i) {
        const std::wstring name = L"value " + std::to_wstring(i);
        store(name.c_str(), REG_DWORD, &i, 4);
        values.push_back(u16(name));
    }
    // A name longer than the enumeration buffer is left out; the others still come.
    const std::wstring longName(5000, L'n');
    const DWORD zero = 0;
    store(longName.c_str(), REG_DWORD, &zero, 4);
    for (const wchar_t* sub : {L"b", L"a"})
        ASSERT_TRUE(create(sub));

    const size_t base = liveLocalReferences();
    resetPeakLocalReferences();
    const jobjectArray names = call(boundNative<Enumerate>("Registry", "enumValues0"), kCurrentUser, key(), 0);
    EXPECT_LE(peakLocalReferences() - base, 16u);
    std::vector<std::u16string> found = texts(names);
    std::sort(found.begin(), found.end());
    std::sort(values.begin(), values.end());
    EXPECT_EQ(found, values);

    std::vector<std::u16string> subKeys =
        texts(call(boundNative<Enumerate>("Registry", "enumSubKeys0"), kCurrentUser, key(), 0));
    std::sort(subKeys.begin(), subKeys.end());
    EXPECT_EQ(subKeys, (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_TRUE(elementsOf(call(boundNative<Enumerate>("Registry", "enumSubKeys0"), kCurrentUser, key(L"a"), 0))
                    .empty());

    // Root code 6 names no root; a missing key is no key.
    EXPECT_EQ(call(boundNative<Enumerate>("Registry", "enumSubKeys0"), 6, key(), 0), nullptr);
    EXPECT_EQ(call(boundNative<Enumerate>("Registry", "enumValues0"), kCurrentUser, key(L"missing"), 0), nullptr);
    EXPECT_FALSE(exists(L"", 6));
    EXPECT_FALSE(create(L"c", 6));
    EXPECT_TRUE(exists(L"a"));
    EXPECT_FALSE(exists(L"c"));
}

TEST_F(RegistryNatives, DeletesWholeTreesButNeverARoot)
{
    const auto deleteKey = boundNative<DeleteKey>("Registry", "deleteKey0");
    // 500 keys: 10 children of the tree's top, each with 7 children holding 6 leaves and a value.
    const auto build = [&](jint view) {
        for (int a = 0; a < 10; ++a)
            for (int b = 0; b < 7; ++b)
                for (int c = 0; c < 6; ++c) {
                    const std::wstring leaf = L"tree\\" + std::to_wstring(a) + L"\\" + std::to_wstring(b) + L"\\" +
                                              std::to_wstring(c);
                    ASSERT_TRUE(call(boundNative<SetValue>("Registry", "setValue0"), kCurrentUser, key(leaf),
                                     javaString(u"v"), javaString(u"x"), 1, view));
                }
    };
    for (const jint view : {0, KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        SCOPED_TRACE(testing::Message() << "view " << view);
        build(view);
        ASSERT_TRUE(exists(L"tree\\9\\6\\5"));

        call(deleteKey, kCurrentUser, key(L"tree\\9\\6\\5"), JNI_TRUE, view); // holds a value
        EXPECT_TRUE(exists(L"tree\\9\\6\\5"));
        call(deleteKey, kCurrentUser, key(L"tree"), JNI_TRUE, view);
        EXPECT_TRUE(exists(L"tree\\0\\0\\0"));

        const size_t handlesBefore = ownHandleCount();
        call(deleteKey, kCurrentUser, key(L"tree"), JNI_FALSE, view);
        EXPECT_FALSE(exists(L"tree"));
        EXPECT_EQ(ownHandleCount(), handlesBefore);
    }

    ASSERT_TRUE(create(L"empty"));
    call(deleteKey, kCurrentUser, key(L"empty"), JNI_TRUE, 0);
    EXPECT_FALSE(exists(L"empty"));

    // A path naming the root itself deletes nothing: the test's own key stands for every
    // other key of the hive.
    ASSERT_TRUE(create(L"canary"));
    for (const jstring root : {javaString(u""), static_cast<jstring>(nullptr), javaString(u"\\\\")})
        for (const jboolean onlyIfEmpty : {JNI_FALSE, JNI_TRUE})
            call(deleteKey, kCurrentUser, root, onlyIfEmpty, 0);
    call(deleteKey, 6, key(L"canary"), JNI_FALSE, 0);
    EXPECT_TRUE(exists(L"canary"));

    // Only-if-empty keeps a key it cannot open for inspection (here: read access only),
    // whatever it holds.
    ASSERT_TRUE(create(L"locked\\child"));
    HKEY locked = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key_, L"locked", 0, WRITE_DAC, &locked), ERROR_SUCCESS);
    const auto setAccess = [&](const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
        EXPECT_EQ(RegSetKeySecurity(locked, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
    };
    setAccess(L"D:P(A;;KR;;;WD)");
    HKEY probe = nullptr;
    EXPECT_EQ(RegOpenKeyExW(key_, L"locked", 0, KEY_READ | KEY_SET_VALUE, &probe), ERROR_ACCESS_DENIED);
    call(deleteKey, kCurrentUser, key(L"locked"), JNI_TRUE, 0);
    EXPECT_TRUE(exists(L"locked\\child"));
    setAccess(L"D:P(A;;KA;;;WD)"); // the clean-up may delete it again
    RegCloseKey(locked);

    // Values go without an answer; a missing value or key is no failure.
    const auto deleteValue = boundNative<void (*)(JNIEnv*, jobject, jint, jstring, jstring, jint)>("Registry",
                                                                                                   "deleteValue0");
    store(L"gone", REG_SZ, L"x", 4);
    call(deleteValue, kCurrentUser, key(), javaString(u"gone"), 0);
    EXPECT_EQ(stored(L"gone").first, static_cast<DWORD>(REG_NONE));
    call(deleteValue, kCurrentUser, key(), javaString(u"never there"), 0);
    call(deleteValue, kCurrentUser, key(L"missing"), javaString(u"gone"), 0);
}

// saveKey0 writes a hive file with the backup privilege. Wine's RegRestoreKeyW is a stub that
// answers success without reading the file: under Wine restoreKey0 reports true for any file,
// even a missing one, and leaves the key it opens (creating it) empty. What Windows would
// restore is not observable here; nor is the refusal of an existing file, which Wine's
// RegSaveKeyW overwrites.
TEST_F(RegistryNatives, SavesKeysToFilesAndRestoresWhatWineAllows)
{
    using SaveRestore = jboolean (*)(JNIEnv*, jobject, jint, jstring, jstring, jint);
    const auto save = boundNative<SaveRestore>("Registry", "saveKey0");
    const auto restore = boundNative<SaveRestore>("Registry", "restoreKey0");
    const ScratchDirectory scratch;
    const std::wstring hive = scratch.file(L"saved.hive");
    store(L"saved", REG_SZ, L"yes", 8);
    ASSERT_EQ(RegSetKeyValueW(key_, L"sub", nullptr, REG_SZ, L"", 2), ERROR_SUCCESS);

    EXPECT_TRUE(call(save, kCurrentUser, key(), javaString(u16(hive)), 0));
    EXPECT_GT(readFileBytes(hive).value_or(std::vector<uint8_t>{}).size(), 0u);
    EXPECT_FALSE(call(save, kCurrentUser, key(L"missing"), javaString(u16(scratch.file(L"missing.hive"))), 0));
    EXPECT_FALSE(fileExists(scratch.file(L"missing.hive")));
    EXPECT_FALSE(call(save, kCurrentUser, key(), static_cast<jstring>(nullptr), 0));
    EXPECT_FALSE(call(save, 6, key(), javaString(u16(scratch.file(L"no root.hive"))), 0));

    for (const std::wstring& file : {hive, scratch.file(L"never written.hive")}) {
        SCOPED_TRACE(toUtf8(file));
        EXPECT_TRUE(call(restore, kCurrentUser, key(L"restored"), javaString(u16(file)), 0));
        EXPECT_TRUE(exists(L"restored"));
        EXPECT_FALSE(exists(L"restored\\sub"));
    }
    EXPECT_FALSE(call(restore, 6, key(L"restored"), javaString(u16(hive)), 0));
}

} // namespace
