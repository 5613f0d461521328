#include "tools/engine_simulator/log_line.h"

#include <gtest/gtest.h>

namespace {

TEST(LogLine, EscapesEveryByteThatCouldBreakALine) {
    const struct {
        std::string bytes;
        const char* escaped;
    } cases[] = {
        {"plain text: / ? & = \"", "plain text: / ? & = \""},
        {"a\tb\r\nc\\d", "a\\tb\\r\\nc\\\\d"},
        {std::string("\x00\x1F\x7F\x80\xFF", 5), "\\x00\\x1F\\x7F\\x80\\xFF"},
        {"\\x41", "\\\\x41"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.escaped);
        EXPECT_EQ(c.escaped, engine_log::EscapeField(c.bytes));
        std::string back = "sentinel";
        ASSERT_TRUE(engine_log::UnescapeField(c.escaped, &back));
        EXPECT_EQ(c.bytes, back);
    }
}

TEST(LogLine, LineSplitsIntoItsFieldsAgain) {
    const std::string line = engine_log::FormatLine({"REQUEST", "a\tb", "", "x\ny"});
    EXPECT_EQ("REQUEST\ta\\tb\t\tx\\ny\n", line);
    std::vector<std::string> fields;
    ASSERT_TRUE(engine_log::ParseLine(std::string_view(line).substr(0, line.size() - 1), &fields));
    EXPECT_EQ((std::vector<std::string>{"REQUEST", "a\tb", "", "x\ny"}), fields);
}

TEST(LogLine, MalformedEscapesAreRejected) {
    for (const char* field : {"\\", "a\\q", "\\x4", "\\xG1", "\\x"}) {
        SCOPED_TRACE(field);
        std::string bytes;
        EXPECT_FALSE(engine_log::UnescapeField(field, &bytes));
    }
}

}  // namespace
