#include "tools/engine_simulator/database_query.h"

#include <gtest/gtest.h>

#include "tests/support/engine_log.h"
#include "tools/engine_simulator/base64.h"

namespace {

TEST(DatabaseQuery, DecodesTheAgentsBody) {
    // Base64 of {"root":"PellanPreferences2","sql":"select syncModeSetting from prefs07202009"}
    const std::optional<DatabaseQuery> query = ParseDatabaseQuery(
        "eyJyb290IjoiUGVsbGFuUHJlZmVyZW5jZXMyIiwic3FsIjoic2VsZWN0IHN5bmNNb2RlU2V0dGluZyBmcm9tIHByZWZzMDcyMDIwMDkifQ==");
    ASSERT_TRUE(query);
    EXPECT_EQ("PellanPreferences2", query->root);
    EXPECT_EQ("select syncModeSetting from prefs07202009", query->sql);
}

TEST(DatabaseQuery, Base64PaddingAndAlphabet) {
    const struct {
        const char* text;
        std::optional<std::string> bytes;
    } cases[] = {
        {"", std::string()},
        {"YQ==", std::string("a")},
        {"YWI=", std::string("ab")},
        {"YWJj", std::string("abc")},
        {"+/8A", std::string("\xFB\xFF\x00", 3)},
        {"YQ", std::nullopt},
        {"YQ=", std::nullopt},
        {"Y===", std::nullopt},
        {"YQ==YQ==", std::nullopt},
        {"YW\nJj", std::nullopt},
        {"YW-j", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.bytes, DecodeBase64(c.text));
    }
}

TEST(DatabaseQuery, JsonThatIsNotAFlatObjectOfStringsIsRejected) {
    const struct {
        const char* json;
        bool accepted;
    } cases[] = {
        {" { \"sql\" : \"s\\\"q\\u00e9\" , \"root\":\"r\" } ", true},
        {"{\"root\":\"r\"}", false},
        {"{\"root\":\"r\",\"sql\":1}", false},
        {"{\"root\":\"r\",\"sql\":\"s\"", false},
        {"{\"root\":\"r\",\"sql\":\"s\"} x", false},
        {"{\"root\":\"r\",\"sql\":\"bad \\q escape\"}", false},
        {"{\"root\":\"r\",\"sql\":\"lone \\udc00\"}", false},
        {"[\"root\",\"sql\"]", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const std::optional<DatabaseQuery> query = ParseDatabaseQuery(testing_support::EncodeBase64(c.json));
        EXPECT_EQ(c.accepted, query.has_value());
        if (query) {
            EXPECT_EQ("s\"q\xC3\xA9", query->sql);
        }
    }
}

}  // namespace
