// What the engine receives from the client, byte for byte, and what the client
// makes of the engine's answers.
#include "tests/support/raw_listener.h"  // winsock2.h before windows.h

#include "common/engine_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "win/com_error.h"

using testing_support::ParseRequest;
using testing_support::RawListener;

namespace {

std::string Base64Of(size_t bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes; ++i) text += alphabet[(i * 7) % 64];
    return text + "==";
}

bool HasHeader(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasHeaderNamed(const std::vector<std::string>& lines, const std::string& name) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.size() >= name.size() && _strnicmp(l.c_str(), name.c_str(), name.size()) == 0;
    });
}

TEST(EngineClient, EngineReceivesExactRequest) {
    struct Case {
        const char* name;
        std::string path;
        std::string body;
    };
    const Case cases[] = {
        {"no body", "/initialize/?random=-1234", ""},
        {"one space", "/shutdown?cleanup=1", " "},
        {"base64 of some kilobytes", "/DBase/", Base64Of(6000)},
        {"query left as it is", "/initialize/?hwnd=66052&random=99", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawListener listener({200, "ok"});
        std::wstring reply = L"sentinel";
        ASSERT_EQ(S_OK, SendEngineRequest(c.path, c.body, &reply, false));
        ASSERT_EQ(1u, listener.Requests().size());
        const auto request = ParseRequest(listener.Requests()[0]);

        EXPECT_EQ("GET " + c.path + " HTTP/1.1", request.requestLine);
        EXPECT_TRUE(HasHeader(request.headerLines, "Content-Type: text"));
        EXPECT_TRUE(HasHeader(request.headerLines, "Accept: text"));
        EXPECT_TRUE(HasHeader(request.headerLines, "Host: localhost:8182"));
        if (c.body.empty()) {
            EXPECT_FALSE(HasHeaderNamed(request.headerLines, "Content-Length:"));
        } else {
            EXPECT_TRUE(HasHeader(request.headerLines, "Content-Length: " + std::to_string(c.body.size())));
        }
        EXPECT_EQ(c.body, request.body);
        EXPECT_EQ(L"ok", reply);
    }
}

TEST(EngineClient, HeadersAreSentOnceInTheirOrder) {
    RawListener listener({200, ""});
    SendEngineRequest("/shutdown?cleanup=1", " ", nullptr, false);
    const auto lines = ParseRequest(listener.Requests().at(0)).headerLines;
    auto position = [&](const std::string& prefix) {
        auto found = std::find_if(lines.begin(), lines.end(),
                                  [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        EXPECT_EQ(1, std::count_if(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }))
            << prefix;
        return found - lines.begin();
    };
    EXPECT_LT(position("Content-Type:"), position("Accept:"));
    position("Content-Length:");
}

TEST(EngineClient, RepliesAreDecodedAsTheEngineSentThem) {
    struct Case {
        const char* name;
        int status;
        std::string body;
        std::wstring expected;
    };
    const Case cases[] = {
        {"status 404 gives an empty reply", 404, "not here", L""},
        {"status 500 gives an empty reply", 500, "{\"name\":\"x\"}", L""},
        {"empty 200 body", 200, "", L""},
        {"utf-8 text", 200, "{\"name\":\"K\xC3\xBC\x63he \xE6\x9D\xB1\"}", L"{\"name\":\"K\u00fcche \u6771\"}"},
        {"text ends at a zero byte", 200, std::string("abc\0def", 7), L"abc"},
        {"invalid utf-8 is replaced, not fatal", 200, "a\xFF\xC3", L"a\uFFFD\uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RawListener listener({c.status, c.body});
        std::wstring reply = L"sentinel";
        EXPECT_EQ(S_OK, SendEngineRequest("/IPs/?random=1", "", &reply, false));
        EXPECT_EQ(c.expected, reply);
    }
}

TEST(EngineClient, RandomAndLargeRepliesAreSafe) {
    std::mt19937 random(42);
    std::string noise(3 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random() % 255 + 1);  // no zero byte: all of it is decoded
    RawListener listener({200, noise});
    std::wstring reply;
    EXPECT_EQ(S_OK, SendEngineRequest("/DBase/", "x", &reply, false));
    EXPECT_FALSE(reply.empty());
}

TEST(EngineClient, NothingListeningRaisesTheTransportError) {
    std::wstring reply = L"untouched";
    try {
        SendEngineRequest("/initialize/?random=1", "", &reply, false);
        FAIL() << "no error raised";
    } catch (const win::com_error& e) {
        EXPECT_EQ(HRESULT_FROM_WIN32(12029), e.code());  // ERROR_WINHTTP_CANNOT_CONNECT
    }
    EXPECT_EQ(L"untouched", reply);
}

TEST(EngineClient, AsynchronousRequestReturnsBeforeTheAnswer) {
    RawListener listener({200, "late", 1500});
    std::wstring reply = L"sentinel";
    EXPECT_EQ(S_OK, SendEngineRequest("/Notifications/?", "{}", &reply, true));
    EXPECT_EQ(0u, listener.Answered());
    EXPECT_EQ(L"", reply);
    // It still completes on its own.
    ASSERT_TRUE(listener.WaitForRequests(1, 10000));
    EXPECT_EQ("{}", ParseRequest(listener.Requests()[0]).body);
}

TEST(EngineClient, AsynchronousRequestWithNothingListeningIsQuiet) {
    EXPECT_EQ(S_OK, SendEngineRequest("/shutdown?cleanup=1", " ", nullptr, true));
    ::Sleep(300);  // let the request fail on its thread before the process ends
}

}  // namespace
