// The Windows-free parts of the shell natives: text taken from byte arrays (under the
// sanitizers, so a read past a copy fails the test) and the object picker's scope and window
// rules.
#if __has_include(<jni.h>)

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "natives/byte_array_text.h"
#include "natives/object_picker_rules.h"

namespace {

// Just the JNI functions a byte-array read needs; every other slot stays null, so an
// unexpected call crashes. An array is a pointer to its bytes held in a vector.
struct FakeVm {
    JNINativeInterface_ functions{};
    JNIEnv env{};
    bool pending = false;
    bool failRegion = false;

    FakeVm()
    {
        functions.GetArrayLength = [](JNIEnv*, jarray array) -> jsize {
            return static_cast<jsize>(reinterpret_cast<std::vector<jbyte>*>(array)->size());
        };
        functions.GetByteArrayRegion = [](JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* buffer) {
            FakeVm* vm = of(env);
            if (vm->failRegion) {
                vm->pending = true;
                return;
            }
            const auto& bytes = *reinterpret_cast<std::vector<jbyte>*>(array);
            ASSERT_LE(static_cast<size_t>(start + length), bytes.size());
            std::memcpy(buffer, bytes.data() + start, static_cast<size_t>(length));
        };
        functions.ExceptionCheck = [](JNIEnv* env) -> jboolean { return of(env)->pending ? JNI_TRUE : JNI_FALSE; };
        env.functions = &functions;
    }
    static FakeVm* of(JNIEnv* env)
    {
        return reinterpret_cast<FakeVm*>(reinterpret_cast<char*>(env) - offsetof(FakeVm, env));
    }
};

// Exactly-sized heap copies, so the sanitizer sees any read past the last byte.
jbyteArray arrayOf(std::vector<jbyte>& bytes) { return reinterpret_cast<jbyteArray>(&bytes); }

TEST(ByteArrayText, EndsAtTheFirstNulOrTheArray)
{
    using Encoding = ByteArrayText::Encoding;
    FakeVm vm;
    const struct {
        std::vector<jbyte> bytes;
        std::string narrow;
        std::u16string wide;
    } cases[] = {
        {{'a', 'b', 'c'}, "abc", u"\u6261"},                       // no terminator; 'c' is half a unit
        {{'a', 0, 'b', 0}, "a", u"ab"},                            // a NUL inside
        {{'C', 0, ':', 0, 0, 0, 'x', 0}, "C", u"C:"},              // terminated UTF-16, data after it
        {{}, "", u""},
        {{'\xe9', 0x00, '\x3d', '\xd8', '\x00', '\xde'}, "\xe9", u"\u00e9\U0001F600"}, // bytes above 0x7f, a pair
        {{0}, "", u""},
    };
    for (auto each : cases) {
        SCOPED_TRACE(each.narrow);
        std::vector<jbyte> bytes = each.bytes;
        const ByteArrayText narrow(&vm.env, arrayOf(bytes), Encoding::Narrow);
        ASSERT_TRUE(narrow.ok());
        EXPECT_FALSE(narrow.isNull());
        EXPECT_EQ(std::strlen(narrow.narrow()), each.narrow.size());
        EXPECT_EQ(narrow.narrow(), each.narrow);
        EXPECT_EQ(narrow.wide(), nullptr);
        const ByteArrayText wide(&vm.env, arrayOf(bytes), Encoding::Utf16LittleEndian);
        ASSERT_TRUE(wide.ok());
        EXPECT_EQ(std::u16string(wide.wide()), each.wide);
    }

    const ByteArrayText none(&vm.env, nullptr, Encoding::Narrow);
    EXPECT_TRUE(none.ok());
    EXPECT_TRUE(none.isNull());
    EXPECT_EQ(none.narrow(), nullptr);

    std::vector<jbyte> bytes = {'a'};
    vm.failRegion = true;
    const ByteArrayText failed(&vm.env, arrayOf(bytes), Encoding::Narrow);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.narrow(), nullptr);
}

TEST(ObjectPickerRules, ScopeFiltersFollowWhatIsIncluded)
{
    const struct {
        bool groups, users, wellKnown, localOnly;
        uint32_t type, upLevel, downLevel;
    } cases[] = {
        {true, true, true, false, 0x36F, 0x3FE, 0x80020007},
        {true, false, false, true, 0x1, 0x3F4, 0x80000006},
        {false, true, false, false, 0x36F, 0x2, 0x80000001},
        {false, true, true, true, 0x1, 0xA, 0x800C4001}, // without groups only the service accounts
        {false, false, true, false, 0x36F, 0x8, 0x800C4000},
        {false, false, false, false, 0x36F, 0, 0},
    };
    for (const auto& each : cases) {
        const PickerScope scope = pickerScope(each.groups, each.users, each.wellKnown, each.localOnly);
        SCOPED_TRACE(testing::Message() << each.groups << each.users << each.wellKnown << each.localOnly);
        EXPECT_EQ(scope.scopeType, each.type);
        EXPECT_EQ(scope.scopeFlags, 0xC0u);
        EXPECT_EQ(scope.upLevelFilter, each.upLevel);
        EXPECT_EQ(scope.downLevelFilter, each.downLevel);
    }
}

TEST(ObjectPickerRules, ParentIsTheLastVisibleWindowThenTheConsole)
{
    const uint32_t self = 7;
    const uintptr_t console = 0x50;
    const std::vector<TopLevelWindow> windows = {
        {0x10, self, true}, {0x20, 9, true}, {0x30, self, false}, {console, self, true}, {0x40, self, true},
        {0x60, 9, true},
    };
    EXPECT_EQ(pickerParentWindow(windows, self, console), 0x40u);
    EXPECT_EQ(pickerParentWindow({{console, self, true}, {0x30, self, false}}, self, console), console);
    EXPECT_EQ(pickerParentWindow(windows, 8, 0), 0u);
    EXPECT_EQ(pickerParentWindow({}, self, console), console);
}

} // namespace

#endif
