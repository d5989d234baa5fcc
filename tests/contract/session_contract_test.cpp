// The machine's one run: a second run's claim fails while the first holds it, and comes
// free when the first's process goes, even when programs the first started still run.
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>

namespace pelto::contract {
namespace {

TEST(SessionContract, OneRunAtATimeAndProgramsItStartedNeverHoldTheClaim) {
    ContractMachine m;
    auto first = m.make_session();
    auto second = m.make_session();
    ASSERT_TRUE(first->claim_single_run());
    EXPECT_TRUE(first->claim_single_run()); // the run asking again still holds it
    EXPECT_FALSE(second->claim_single_run());

    // The first run starts an installer that leaves a program running after it ends, as a
    // bootstrapper does; then the first run's process is gone.
    const Text program = m.path(u"installpelto_H.exe");
    m.make_program(program, 0, /*leave_running=*/true);
    EXPECT_EQ(m.platform()
                  .processes.start(program, platform::kShowNormalFocus, m.path())
                  ->wait_for_exit(),
              std::optional<uint32_t>(0));
    first.reset();
    EXPECT_TRUE(second->claim_single_run());
    EXPECT_FALSE(m.make_session()->claim_single_run());
}

} // namespace
} // namespace pelto::contract
