#include "tools/engine_simulator/engine_state.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

TEST(EngineState, ReadsEveryKey) {
    const ParsedEngineState parsed = ParseEngineState(
        "\xEF\xBB\xBF# a comment\r\nmode=2x\r\nfrequency=-1\n\ncomputers= Living Room,pc2,,\xC3\x89tude\n"
        "present=pc2\nstatus=503\ndelay_ms=250\nrefuse_first=3\nexit_after=4\n");
    EXPECT_TRUE(parsed.problems.empty());
    const EngineState& state = parsed.state;
    EXPECT_EQ("2x", state.mode);
    EXPECT_EQ("-1", state.frequency);
    // Names are kept exactly, blanks and empty items included.
    EXPECT_EQ((Names{" Living Room", "pc2", "", "\xC3\x89tude"}), state.computers);
    EXPECT_EQ((Names{"pc2"}), state.present);
    EXPECT_EQ(503, state.status);
    EXPECT_EQ(250u, state.delayMs);
    EXPECT_EQ(3u, state.refuseFirst);
    EXPECT_EQ(4u, state.exitAfter);
}

TEST(EngineState, UnusableLinesKeepTheirDefaultsAndAreReported) {
    static constexpr char kJunk[] = "\x00\x01\x02=\xFF\xFE\nmode=\xC3\n";
    const struct {
        const char* name;
        std::string text;
        size_t problems;
    } cases[] = {
        {"empty file", "", 0},
        {"unknown key", "Mode=1\n", 1},
        {"no equals sign", "mode 1\n", 1},
        {"bad numbers", "status=abc\ndelay_ms=-5\nrefuse_first=1e3\nexit_after=99999999999\n", 4},
        {"status out of range", "status=42\nstatus=600\n", 2},
        {"binary junk", std::string(kJunk, sizeof(kJunk) - 1), 2},
        {"long line", "present=" + std::string(5000, 'a') + "\n", 1},
        {"huge file", std::string(70000, '#'), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ParsedEngineState parsed = ParseEngineState(c.text);
        EXPECT_EQ(c.problems, parsed.problems.size());
        const EngineState& state = parsed.state;
        EXPECT_EQ("0", state.mode);
        EXPECT_EQ("0", state.frequency);
        EXPECT_TRUE(state.computers.empty());
        EXPECT_TRUE(state.present.empty());
        EXPECT_EQ(0, state.status);
        EXPECT_EQ(0u, state.delayMs);
        EXPECT_EQ(0u, state.refuseFirst);
        EXPECT_EQ(0u, state.exitAfter);
    }
}

TEST(EngineState, GoodLinesCountBesideBadOnes) {
    const ParsedEngineState parsed = ParseEngineState("junk\ncomputers=PC1\nstatus=x\n");
    EXPECT_EQ(2u, parsed.problems.size());
    EXPECT_EQ((Names{"PC1"}), parsed.state.computers);
    EXPECT_EQ(0, parsed.state.status);
}

}  // namespace
