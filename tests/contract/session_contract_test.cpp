// The machine's one run: a second run's claim fails while the first holds it, naming the
// first; the programs a run started (and what they started) hold its claim after the
// run's own process is gone, and it comes free when the last of them ends.
#include "tests/contract/contract_machine.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace pelto::contract {
namespace {

TEST(SessionContract, OneRunAtATimeUntilTheProgramsItStartedHaveEnded) {
    ContractMachine m;
    if (const auto why = m.why_the_plan_cannot_show(RealEffect::RunClaim)) {
        GTEST_SKIP() << *why;
    }
    auto first = m.make_run();
    auto second = m.make_run();
    ASSERT_TRUE(first->session().claim_single_run().claimed);
    EXPECT_TRUE(first->session().claim_single_run().claimed); // asking again: still held
    const platform::SingleRunClaim refused = second->session().claim_single_run();
    EXPECT_FALSE(refused.claimed);
    EXPECT_EQ(refused.holder.process_id, std::optional(first->session().process_id()));
    EXPECT_TRUE(refused.holder.running);

    // The first run starts an installer that leaves a program running after it ends, as a
    // bootstrapper does; then the first run's process is gone.
    const Text program = m.path(u"installpelto_H.exe");
    m.make_program(program, 0, /*leave_running=*/true);
    EXPECT_EQ(
        first->processes().start(program, platform::kShowNormalFocus, m.path())->wait_for_exit(),
        std::optional<uint32_t>(0));
    first.reset();
    EXPECT_FALSE(second->session().claim_single_run().claimed)
        << "what the first run's installer left running holds its claim";

    // A guard against a claim that never comes free, not a measure of time: the program
    // left running ends by itself after a few seconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool claimed = false;
    while (!claimed && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        claimed = second->session().claim_single_run().claimed;
    }
    EXPECT_TRUE(claimed);
    EXPECT_FALSE(m.make_run()->session().claim_single_run().claimed);
}

} // namespace
} // namespace pelto::contract
