#include "common/reply_reader.h"

#include <gtest/gtest.h>

namespace {

using Values = std::vector<std::wstring>;

TEST(ReplyReader, PicksTheTokensThatFollowTheKey) {
    struct Case {
        const char* name;
        const char* key;
        std::wstring reply;
        Values expected;
    };
    const Case cases[] = {
        {"one object", "name", LR"({"name":"alpha"})", {L"alpha"}},
        {"list of objects", "name", LR"([{"name":"a"},{"name":"b"}])", {L"a", L"b"}},
        {"key in capitals", "NAME", LR"({"name":"alpha"})", {L"alpha"}},
        {"reply in capitals", "name", LR"({"NaMe":"alpha"})", {L"alpha"}},
        {"absent key", "ip", LR"({"name":"alpha"})", {}},
        {"key is the last token", "name", LR"({"x":"name"})", {L""}},
        {"value with a space gives its first word", "name", LR"({"name":"My PC"})", {L"My"}},
        {"empty value takes the next token", "name", LR"({"name":"","ip":"1"})", {L"ip"}},
        {"value spelled like the key", "name", LR"({"name":"name"})", {L"name", L""}},
        {"backslash stays", "name", LR"({"name":"a\\b"})", {L"a\\\\b"}},
        {"escaped quote ends the token", "name", LR"({"name":"a\"b"})", {L"a\\"}},
        {"numbers are tokens", "syncModeSetting", LR"([{"syncModeSetting":2}])", {L"2"}},
        {"line feed is no delimiter", "name", L"{\"name\":\n\"x\"}", {L"\n"}},
        {"tab is no delimiter", "name", L"{\"name\":\"a\tb\"}", {L"a\tb"}},
        {"empty reply", "name", L"", {}},
        {"only delimiters", "name", L"{}[]:,\" ", {}},
        {"nested", "computerName", LR"({"rows":[{"computerName":"PC1"},{"x":{"computerName":"PC2"}}]})", {L"PC1", L"PC2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, GetReplyValues(c.key, c.reply));
    }
}

TEST(ReplyReader, NonAsciiLetterNotFoldedInKey) {
    // "É" and "é" differ beyond A-Z and must not match.
    EXPECT_EQ(Values{}, GetReplyValues("\xC9", L"{\"\u00e9\":\"1\"}"));
}

TEST(ReplyReader, LargeReplyIsScannedWhole) {
    std::wstring reply = L"[";
    for (int i = 0; i < 200000; ++i) reply += L"{\"name\":\"pc" + std::to_wstring(i) + L"\",\"ip\":\"10.0.0.1\"},";
    reply += L"]";
    const Values values = GetReplyValues("name", reply);
    ASSERT_EQ(200000u, values.size());
    EXPECT_EQ(L"pc0", values.front());
    EXPECT_EQ(L"pc199999", values.back());
}

}  // namespace
