// An agent that dies without its orderly end. Under Wine such an agent leaves
// its COM class registration behind, and every later activation in the prefix
// fails, so these tests run after all other system tests.
#include "tests/support/agent_fixture.h"  // winsock2.h before windows.h

using namespace testing_support;

namespace {

using AgentKilled = AgentTest;

TEST_F(AgentKilled, EngineDiesWithItsAgent) {
    Process agent = StartAgent();
    win::unique_handle engineProcess(::OpenProcess(SYNCHRONIZE, FALSE, EngineOf(agent)));
    ASSERT_TRUE(engineProcess);
    ::TerminateProcess(agent.handle(), 1);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(engineProcess.get(), 10000))
        << "an orphaned engine would hold the engine's port";
}

}  // namespace
