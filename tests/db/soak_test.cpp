// Many writers at once: 8 clients, each on a connection of its own, make 1,000
// read-modify-write increments through record sets on the same 100 rows. Every update
// either lands or reports that another client changed the row first; so each row ends
// at the number of updates that landed on it, nothing is lost, and no client hangs.
#include "tests/db/db_test_support.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <gtest/gtest.h>
#include <iostream>
#include <mutex>

namespace pelto::dbtest {
namespace {

constexpr int kClients = 8;
constexpr int kIncrements = 1000;
constexpr int kRows = 100;
// Far beyond what a run takes; a client still busy then is stuck.
constexpr auto kHung = std::chrono::seconds(150);

struct Tally {
    std::array<std::atomic<int>, kRows + 1> landed{}; // by row id
    std::atomic<int> conflicts{0};
    std::atomic<int> failures{0};
    std::mutex first_failure_lock;
    std::string first_failure;
};

// One client's increments, row after row in an order of its own.
void increment(const std::shared_ptr<ado::Connection>& connection, int client, Tally& tally) {
    for (int i = 0; i < kIncrements; ++i) {
        const int id = (client * 37 + i * 13) % kRows + 1;
        try {
            ado::Recordset row;
            row.CursorLocation(ado::adUseClient);
            row.Open(u"SELECT id, n FROM counters WHERE id = " + from_utf8(std::to_string(id)),
                     connection, ado::adOpenStatic, ado::adLockOptimistic);
            row.Fields(1).Value(Variant(row.Fields(1).Value().to_long() + 1));
            try {
                row.Update();
                ++tally.landed[static_cast<size_t>(id)];
            } catch (const VbError& e) {
                row.CancelUpdate();
                if (e.number() != adoerr::kRowNotFound) {
                    throw;
                }
                ++tally.conflicts;
            }
        } catch (const VbError& e) {
            ++tally.failures;
            const std::lock_guard<std::mutex> lock(tally.first_failure_lock);
            if (tally.first_failure.empty()) {
                tally.first_failure = to_utf8(e.error().description);
            }
        }
    }
}

class SoakTest : public ::testing::TestWithParam<Backend> {
protected:
    TestMachine machine;
    CentralDb central{GetParam(), machine};
    PassThroughProviders providers;
};

TEST_P(SoakTest, EveryIncrementLandsOrReportsAConflictAndNothingIsLost) {
    central.admin().run(u"CREATE TABLE counters (id INTEGER PRIMARY KEY, n INTEGER)");
    for (int id = 1; id <= kRows; ++id) {
        central.admin().run(u"INSERT INTO counters VALUES (" + from_utf8(std::to_string(id)) +
                            u", 0)");
    }
    // The clients' connections are opened here, one at a time; each is used by its own
    // client only. SQLite's waits for the file's lock with its busy time-out.
    Text target = central.admin().connection().ConnectionString();
    if (GetParam() == Backend::SQLite) {
        target += u"Timeout=100000;SyncPragma=OFF;";
    }
    std::vector<std::shared_ptr<ado::Connection>> connections;
    connections.reserve(kClients);
    for (int c = 0; c < kClients; ++c) {
        connections.push_back(std::make_shared<ado::Connection>(providers));
        connections.back()->ConnectionString(target);
        connections.back()->Open();
    }
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::future<void>> clients;
    clients.reserve(kClients);
    for (int c = 0; c < kClients; ++c) {
        clients.push_back(
            std::async(std::launch::async, increment, connections[c], c, std::ref(tally)));
    }
    for (auto& client : clients) {
        if (client.wait_until(start + kHung) != std::future_status::ready) {
            ADD_FAILURE() << "a client hangs";
            std::_Exit(1); // its thread cannot be joined
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    int landed = 0;
    const std::vector<Text> finals = central.admin().column(u"SELECT n FROM counters ORDER BY id");
    ASSERT_EQ(finals.size(), static_cast<size_t>(kRows));
    for (int id = 1; id <= kRows; ++id) {
        const int on_row = tally.landed[static_cast<size_t>(id)];
        EXPECT_EQ(finals[static_cast<size_t>(id - 1)], from_utf8(std::to_string(on_row))) << id;
        landed += on_row;
    }
    EXPECT_EQ(tally.failures, 0) << tally.first_failure;
    EXPECT_EQ(landed + tally.conflicts, kClients * kIncrements);
    std::cout << backend_name(GetParam()) << ": " << kClients * kIncrements << " updates by "
              << kClients << " clients on " << kRows << " rows in " << seconds << " s: " << landed
              << " landed, " << tally.conflicts << " conflicts, " << tally.failures
              << " other failures\n";
}

INSTANTIATE_TEST_SUITE_P(Backends, SoakTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const auto& info) { return backend_name(info.param); });

} // namespace
} // namespace pelto::dbtest
