// The proxy natives in-process against Wine's WinHTTP. Configuration scripts come from a
// loopback server of the test's own; nothing here reaches beyond the machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

#include "testing/loopback_http_server.h"
#include "testing/natives_harness/natives_harness.h"

using namespace natives_harness;

namespace {

using Config = jint (*)(JNIEnv*, jobject, jobjectArray);
using AutoProxy = jlong (*)(JNIEnv*, jobject, jobjectArray, jstring, jstring, jint, jint, jboolean);

constexpr jint kAutoDetect = 1; // WINHTTP_AUTOPROXY_AUTO_DETECT
constexpr jint kConfigUrl = 2;  // WINHTTP_AUTOPROXY_CONFIG_URL
constexpr jlong kLookupStage = jlong{2} << 32;

template <typename Function>
Function native(const char* method)
{
    return boundNative<Function>("Win32Proxy", method);
}

jstring text(const std::string& value) { return javaString(std::u16string(value.begin(), value.end())); }

std::vector<std::optional<std::u16string>> contents(jobjectArray array)
{
    std::vector<std::optional<std::u16string>> texts;
    for (jobject element : elementsOf(array))
        texts.push_back(textOf(element));
    return texts;
}

class ProxyNatives : public testing::Test {
protected:
    void SetUp() override
    {
        registerProgramNatives();
        ASSERT_TRUE(call(boundNative<jboolean (*)(JNIEnv*, jobject)>("Win32Proxy", "loadFunctions0")));
    }
    void TearDown() override { dropLocalReferences(); }
};

TEST_F(ProxyNatives, ConfigurationsAnswerWithTheFlagFirst)
{
    for (const char* method : {"getIEConfig0", "getDefaultConfig0"}) {
        SCOPED_TRACE(method);
        const jobjectArray result = stringArray({u"kept", u"kept", u"kept", u"kept", u"kept"});
        ASSERT_EQ(call(native<Config>(method), result), 0);
        const auto texts = contents(result);
        EXPECT_TRUE(texts[0] == u"true" || texts[0] == u"false");
        EXPECT_EQ(texts[4], u"kept"); // beyond every answer
    }
}

TEST_F(ProxyNatives, AnswersFitArraysOfAnyLength)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.listening());
    server.serve("/proxy.pac", replyWith("function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:3128\"; }"));
    const auto autoProxy = native<AutoProxy>("getAutoProxyConfig0");
    for (const size_t length : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(testing::Message() << "an array of " << length);
        const jobjectArray result = stringArray(std::vector<std::optional<std::u16string>>(length, u"kept"));
        ASSERT_EQ(call(autoProxy, result, text("http://example.invalid/"), text(server.url("/proxy.pac")), kConfigUrl,
                       0, JNI_FALSE),
                  0);
        const std::vector<std::optional<std::u16string>> expected = {u"true", u"127.0.0.1:3128", u"kept"};
        EXPECT_EQ(contents(result), std::vector(expected.begin(), expected.begin() + length));
        for (const char* method : {"getIEConfig0", "getDefaultConfig0"})
            EXPECT_EQ(call(native<Config>(method), stringArray(std::vector<std::optional<std::u16string>>(length))),
                      0);
        dropLocalReferences();
    }
    for (const char* method : {"getIEConfig0", "getDefaultConfig0"})
        EXPECT_EQ(call(native<Config>(method), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(call(autoProxy, nullptr, text("http://example.invalid/"), nullptr, kAutoDetect, 3, JNI_FALSE),
              ERROR_INVALID_PARAMETER);
}

TEST_F(ProxyNatives, AFailedJavaCallEndsTheAnswer)
{
    failCall("NewStringUTF", 0);
    EXPECT_EQ(call(native<Config>("getDefaultConfig0"), stringArray({u"kept", u"kept"})), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(exceptionPending());
    clearException();
}

TEST_F(ProxyNatives, AutoProxyFailuresCarryTheirStage)
{
    LoopbackHttpServer server;
    ASSERT_TRUE(server.listening());
    const struct {
        const char* what;
        jint flags;
        std::string script;
        jlong error; // 0: any
    } cases[] = {
        {"a script that is not there", kConfigUrl, server.url("/missing.pac"), 12167},
        {"a script that is no script", kConfigUrl, server.url("/garbage.pac"), 0},
        {"no way to find a proxy", 0, "", ERROR_INVALID_PARAMETER},
    };
    server.serve("/garbage.pac", replyWith("this is { not a script"));
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        const jobjectArray result = stringArray({u"kept"});
        const jlong answer = call(native<AutoProxy>("getAutoProxyConfig0"), result, text("http://example.invalid/"),
                                  item.script.empty() ? nullptr : text(item.script), item.flags, 0, JNI_FALSE);
        EXPECT_EQ(answer & ~jlong{0xffffffff}, kLookupStage) << std::hex << answer;
        if (item.error)
            EXPECT_EQ(answer & 0xffffffff, item.error);
        else
            EXPECT_NE(answer & 0xffffffff, 0);
        EXPECT_EQ(contents(result), (std::vector<std::optional<std::u16string>>{u"kept"}));
    }
    // No URL: nothing to look up, and nothing written.
    const jobjectArray untouched = stringArray({u"kept"});
    EXPECT_EQ(call(native<AutoProxy>("getAutoProxyConfig0"), untouched, nullptr, nullptr, kAutoDetect, 3, JNI_FALSE),
              0);
    EXPECT_EQ(contents(untouched), (std::vector<std::optional<std::u16string>>{u"kept"}));
}

} // namespace
