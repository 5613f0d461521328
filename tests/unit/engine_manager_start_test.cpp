// The engine manager's start when the sharing manager hangs: it gives up after
// its wait, tells the shell through the engine-ready event, and a following
// shut-down neither crashes nor frees what the mapping thread still uses.
#include "agent/engine_manager.h"

#include <gtest/gtest.h>

#include "common/shared_names.h"
#include "tests/support/fake_sharing_manager.h"

using testing_support::FakeConnection;
using testing_support::FakeSharingManager;

namespace {

TEST(EngineManagerStart, HangingSharingManagerEndsTheStartButSetsTheReadyEvent) {
    // The mapping thread is in the multithreaded apartment: so is the fake.
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    FakeConnection shared;
    shared.characteristics = NCCF_SHARED;
    shared.mediaType = NCM_LAN;
    shared.sharing = true;
    {
        FakeSharingManager fake({shared});
        ASSERT_EQ(S_OK, fake.Register());
        fake.HangFirstConnectionList(5000);

        TandelMgr& manager = TandelMgr::Instance();
        win::unique_handle ready(::OpenEventW(SYNCHRONIZE, FALSE, names::kEngineReadyEvent));
        ASSERT_TRUE(ready);
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(ready.get(), 0));

        EXPECT_FALSE(manager.StartEngine(nullptr));
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready.get(), 0));
        EXPECT_GT(fake.LiveManagers(), 0) << "the mapping is still under way";

        manager.Shutdown();
        EXPECT_EQ(0, fake.LiveManagers()) << "the mappers were destroyed after the mapping ended";
    }
    ::CoUninitialize();
}

}  // namespace
