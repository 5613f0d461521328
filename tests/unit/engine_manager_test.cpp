#include "agent/engine_manager.h"

#include <gtest/gtest.h>

namespace {

TEST(EngineManager, HeapOptionsFollowAvailableMemory) {
    constexpr uint64_t MiB = 1 << 20;
    struct Case {
        uint64_t available;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {1024 * MiB, L" -Xms48m -Xmx96m "},
        {195 * MiB, L" -Xms48m -Xmx96m "},
        {191 * MiB, L" -Xms47m -Xmx94m "},
        {100 * MiB, L" -Xms25m -Xmx50m "},
        {68 * MiB, L" -Xms17m -Xmx34m "},
        // Below the floor the runtime would be asked for too little, or for 0 MiB.
        {63 * MiB, L" -Xms16m -Xmx32m "},
        {3 * MiB, L" -Xms16m -Xmx32m "},
        {0, L" -Xms16m -Xmx32m "},
        {uint64_t(1) << 40, L" -Xms48m -Xmx96m "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.available / MiB << " MiB");
        EXPECT_EQ(c.expected, HeapOptions(c.available));
    }
}

}  // namespace
