// Benchmarks of the database manager, each against peers measured in the same run: the
// loop a C program runs over the same ODBC driver (the floor: the driver's own cost), and
// the sqlite3 shell for reference.
//   bench_db records [ROWS]  GetRecordSet of ROWS rows (default 100,000) on SQLite and on
//                            PostgreSQL (a throw-away cluster of its own), walked with
//                            MoveNext, and apart walked reading every Value(), against the
//                            bare ODBC loop that binds the same columns, reads typed values
//                            and keeps them in an array with room for all of them (target:
//                            at most 1.05x on each); beside it the bare loop reading every
//                            cell as text and, on SQLite, the shell; nine rounds, the
//                            median of the rounds' ratios;
//   bench_db blobs [MIB]     ImageDBSave, Update, GetRecordSet and ImageDBLoad of a
//                            MIB-mebibyte file (default 64) through a binary column on
//                            SQLite and on PostgreSQL (a throw-away cluster of its own),
//                            the peak memory of each step above its baseline: Update within
//                            8 MiB above the bare SQLPutData of the same value,
//                            GetRecordSet within the value's size + 8 MiB above the bare
//                            fetch of the whole value, ImageDBSave and ImageDBLoad within
//                            8 MiB.
// The exit status is non-zero when a memory target fails or a peer could not run.
#include "bench/db/odbc_peer.h"
#include "db/cls_db_mng.h"
#include "platform/portable/filesystem_portable.h"
#include "platform/portable/machine_root.h"
#include "platform/portable/odbc_providers_portable.h"
#include "platform/portable/session_portable.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace pelto;
using Clock = std::chrono::steady_clock;

// --- a machine root with only what the manager needs ---

class QuietUi final : public platform::UserInterface {
public:
    void message_box(TextView text, platform::MessageIcon, TextView) override {
        std::cerr << "message: " << to_utf8(text) << "\n";
    }
    Text input_box(TextView, TextView) override { return Text(); }
    void set_busy_pointer(bool) override {}
    void show_warning_form(const platform::WarningFormDesign&) override {}
    std::unique_ptr<platform::OwnerWindow> create_hidden_window() override { return nullptr; }
    void show_report(TextView, TextView) override {}
};

class StderrLog final : public platform::RunLog {
public:
    void write(std::string_view line) override {
        if (line.find("failed") != std::string_view::npos) {
            std::cerr << line << "\n";
        }
    }
};

class NoRegistry final : public platform::Registry {
public:
    long open_local_machine_key(TextView, uint32_t,
                                std::unique_ptr<platform::RegistryKey>&) override {
        return platform::kRegFileNotFound;
    }
};
class NoProfiles final : public platform::ProfileFiles {
public:
    bool write_private_profile_strings(platform::Folder&, TextView, TextView,
                                       std::span<const platform::ProfileEntry>) override {
        return false;
    }
};
class NoShell final : public platform::ShellCopy {
public:
    int copy_file(const platform::OwnerWindow&, TextView, platform::Folder&) override { return 1; }
};
class NoProcesses final : public platform::Processes {
public:
    std::unique_ptr<platform::Process> start(TextView, int, TextView) override { return nullptr; }
    std::optional<std::string> cannot_start(TextView) override { return "not here"; }
};

struct BenchMachine {
    // `server`: the servers.ini section of the one server, without its catalogs and login.
    BenchMachine(const fs::path& root, const std::string& server)
        : machine(root), files(machine, log), odbc(machine, {}), platform{.registry = registry,
                                                                          .profiles = profiles,
                                                                          .files = files,
                                                                          .shell = shell,
                                                                          .processes = processes,
                                                                          .ui = ui,
                                                                          .odbc = odbc,
                                                                          .log = log,
                                                                          .session = session} {
        fs::create_directories(root / "drive_c");
        fs::create_directories(root / "network");
        std::ofstream(root / "network" / "servers.ini")
            << server << "catalogs=Holmaview\nlogin=sa:bench\n";
    }
    QuietUi ui;
    StderrLog log;
    NoRegistry registry;
    NoProfiles profiles;
    NoShell shell;
    NoProcesses processes;
    platform::portable::MachineRoot machine;
    platform::portable::PortableFileSystem files;
    platform::portable::PortableOdbcProviders odbc;
    platform::portable::HeldRunClaim claim;
    platform::portable::PortableSession session{machine, log, claim};
    platform::Platform platform;
};

// --- measuring ---

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) { // NOLINT(cert-env33-c): the peer is a program
        std::cerr << "failed: " << command << "\n";
        std::exit(1);
    }
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

struct Step {
    double seconds;
    long peak_kib; // above the resident size before the step
};

template <typename F> Step measure(F&& step) {
    bench_db::reset_peak();
    const long before = bench_db::resident_kib();
    const auto start = Clock::now();
    step();
    const double s = seconds_since(start);
    return {s, bench_db::peak_kib() - before};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The ODBC connection string the manager's connection reached, for the peers.
Text odbc_target(BenchMachine& machine, const Text& ado_string) {
    const auto translated = machine.odbc.translate(ado_string);
    if (const auto* target = std::get_if<platform::OdbcTarget>(&translated)) {
        return target->connection_string;
    }
    std::cerr << "no ODBC target\n";
    std::exit(1);
}

double ratio_median(const std::vector<double>& ours, const std::vector<double>& peer) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size(); ++i) {
        ratios.push_back(ours[i] / peer[i]);
    }
    return median(ratios);
}

// Wall and processor time of one way of reading the rows.
struct Timing {
    std::vector<double> wall;
    std::vector<double> cpu;
    void add(double wall_seconds, double cpu_seconds) {
        wall.push_back(wall_seconds);
        cpu.push_back(cpu_seconds);
    }
};

// The processor time the children of this process have used so far (the shell).
double children_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A throw-away PostgreSQL cluster of the benchmark's own, on a Unix socket; stopped when
// the object goes.
class BenchCluster {
public:
    explicit BenchCluster(fs::path state) : state_(std::move(state)) {
        const std::string script = std::string(PELTO_SOURCE_DIR) + "/scripts/pg-start.sh";
        started_ =
            std::system(("bash " + quoted(script) + " " + quoted(state_.string()) + " > /dev/null")
                            .c_str()) == 0; // NOLINT(cert-env33-c): the script is ours
        if (started_) {
            std::ifstream in(state_);
            std::getline(in, socket_);
        }
    }
    BenchCluster(const BenchCluster&) = delete;
    BenchCluster& operator=(const BenchCluster&) = delete;
    ~BenchCluster() {
        if (started_) {
            const std::string script = std::string(PELTO_SOURCE_DIR) + "/scripts/pg-stop.sh";
            // NOLINTNEXTLINE(cert-env33-c): the script is ours
            std::system(("bash " + quoted(script) + " " + quoted(state_.string())).c_str());
        }
    }
    bool started() const { return started_ && !socket_.empty(); }
    const std::string& socket() const { return socket_; }

private:
    fs::path state_;
    bool started_ = false;
    std::string socket_;
};

// One backend of the record set benchmark: its server, how its table of ROWS rows is made,
// and the shell that reads it too (SQLite only).
struct RecordsBackend {
    const char* name;
    std::string servers_ini;
    Text server;
    Text create;
    Text fill;
    std::string shell_database; // the sqlite3 shell's file; empty: no shell
};

struct RecordTimings {
    Timing walked, valued, kept, text, by_shell;
    long cells = 0;
    long kept_cells = 0;
    bool peers_ok = true;
};

// Each way of reading the rows once per round, in an order that turns from round to
// round, so that none always runs right after the same other one.
void time_record_ways(clsDBMng& manager, const Text& target, const Text& query,
                      const RecordsBackend& backend, size_t expected_cells, RecordTimings& t) {
    std::vector<std::function<void()>> ways{
        [&] {
            const auto start = Clock::now();
            const double cpu = bench_db::cpu_seconds();
            const auto rs = manager.GetRecordSet(query);
            while (!rs->Eof()) {
                rs->MoveNext();
            }
            t.walked.add(seconds_since(start), bench_db::cpu_seconds() - cpu);
        },
        [&] {
            t.cells = 0;
            const auto start = Clock::now();
            const double cpu = bench_db::cpu_seconds();
            const auto rs = manager.GetRecordSet(query);
            const int32_t fields = rs->FieldsCount();
            while (!rs->Eof()) {
                for (int32_t f = 0; f < fields; ++f) {
                    const Variant v = rs->Fields(f).Value();
                    t.cells += v.is_null() ? 0 : 1;
                }
                rs->MoveNext();
            }
            t.valued.add(seconds_since(start), bench_db::cpu_seconds() - cpu);
        },
        [&] {
            const bench_db::PeerResult peer =
                bench_db::read_all_kept(target.c_str(), query.c_str(), expected_cells);
            t.peers_ok = t.peers_ok && peer.ok;
            t.kept_cells = peer.cells;
            t.kept.add(peer.seconds, peer.cpu_seconds);
        },
        [&] {
            const bench_db::PeerResult peer =
                bench_db::read_all_as_text(target.c_str(), query.c_str());
            t.peers_ok = t.peers_ok && peer.ok;
            t.text.add(peer.seconds, peer.cpu_seconds);
        }};
    if (!backend.shell_database.empty()) {
        ways.emplace_back([&] {
            const auto start = Clock::now();
            const double cpu = children_cpu_seconds();
            shell(std::string(PELTO_SQLITE3_SHELL) + " " + quoted(backend.shell_database) + " \"" +
                  to_utf8(query) + "\" > /dev/null");
            t.by_shell.add(seconds_since(start), children_cpu_seconds() - cpu);
        });
    }
    constexpr size_t kRounds = 9;
    for (size_t round = 0; round < kRounds; ++round) {
        for (size_t w = 0; w < ways.size(); ++w) {
            ways[(w + round) % ways.size()]();
        }
    }
}

void print_records(const RecordsBackend& backend, long rows, const RecordTimings& t) {
    std::printf("records on %s: %ld rows x 5 fields (%ld values read; the bare loop %ld); "
                "median of 9 rounds\n",
                backend.name, rows, t.cells, t.kept_cells);
    std::printf("                                         processor      wall\n");
    const auto line = [](const char* what, const Timing& timing) {
        std::printf("  %-38s %7.1f ms %7.1f ms\n", what, median(timing.cpu) * 1000,
                    median(timing.wall) * 1000);
    };
    line("GetRecordSet + MoveNext", t.walked);
    line("GetRecordSet + MoveNext + every Value", t.valued);
    line("bare ODBC loop, bound, typed, kept", t.kept);
    line("bare ODBC loop, every cell as text", t.text);
    if (!backend.shell_database.empty()) {
        line("sqlite3 shell to /dev/null", t.by_shell);
    }
    const auto target = [](double ratio) { return ratio <= 1.05 ? "met" : "MISSED"; };
    const double walk = ratio_median(t.walked.cpu, t.kept.cpu);
    const double every = ratio_median(t.valued.cpu, t.kept.cpu);
    std::printf("  ratios, median of the rounds' ratios (processor / wall):\n");
    std::printf("  walk to the kept loop                : %5.2f / %5.2f   (target <= 1.05: %s)\n",
                walk, ratio_median(t.walked.wall, t.kept.wall), target(walk));
    std::printf("  every Value to the kept loop         : %5.2f / %5.2f   (target <= 1.05: %s)\n",
                every, ratio_median(t.valued.wall, t.kept.wall), target(every));
    std::printf("  every Value to the text loop         : %5.2f / %5.2f\n",
                ratio_median(t.valued.cpu, t.text.cpu), ratio_median(t.valued.wall, t.text.wall));
    if (!backend.shell_database.empty()) {
        std::printf("  every Value to the sqlite3 shell     : %5.2f / %5.2f\n",
                    ratio_median(t.valued.cpu, t.by_shell.cpu),
                    ratio_median(t.valued.wall, t.by_shell.wall));
    }
}

int records_on(const fs::path& root, long rows, const RecordsBackend& backend) {
    BenchMachine machine(root, backend.servers_ini);
    std::ofstream(root / "bench.sqlite").close(); // SQLite: the server's database file, empty
    clsDBMng manager(machine.platform);
    if (manager.ConnectServerDB(backend.server, Text(u"sa"), Text(u"bench"), u"Holmaview") != 1) {
        std::cerr << backend.name << ": could not connect\n";
        return 1;
    }
    const Text target = odbc_target(machine, manager.DBConnectString);
    if (!bench_db::run_statement(target.c_str(), backend.create.c_str()) ||
        !bench_db::run_statement(target.c_str(), backend.fill.c_str())) {
        std::cerr << backend.name << ": could not make the table\n";
        return 1;
    }
    const Text query = u"SELECT 번호, 환자명, 금액, 메모, 방문일 FROM 진료기록";
    RecordTimings timings;
    time_record_ways(manager, target, query, backend, static_cast<size_t>(rows) * 5, timings);
    if (!timings.peers_ok || timings.kept_cells != timings.cells) {
        std::cerr << backend.name << ": a bare ODBC loop failed\n";
        return 1;
    }
    print_records(backend, rows, timings);
    return 0;
}

int records(const fs::path& root, long rows) {
    const Text count = from_utf8(std::to_string(rows));
    const Text columns = u"(번호 INTEGER PRIMARY KEY, 환자명 TEXT, 금액 %REAL%, 메모 TEXT, "
                         u"방문일 TIMESTAMP)";
    const Text values = u"x, '환자' || x, x * 1.5, 'memo text for visit ' || x, ";
    fs::create_directories(root / "sqlite");
    int status = records_on(
        root / "sqlite", rows,
        {"SQLite", "[127.0.0.12,4181]\nengine=sqlite\ndatabase=bench.sqlite\n", u"127.0.0.12,4181",
         u"CREATE TABLE 진료기록 " + replace_all(columns, u"%REAL%", u"REAL"),
         u"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + count +
             u") INSERT INTO 진료기록 SELECT " + values + u"'2024-03-05 14:07:09.123' FROM c",
         (root / "sqlite" / "bench.sqlite").string()});
    const BenchCluster cluster(root / "pg.state");
    if (!cluster.started()) {
        std::cerr << "records on PostgreSQL: no cluster could be started (scripts/pg-start.sh)\n";
        return 1;
    }
    fs::create_directories(root / "postgresql");
    status |= records_on(
        root / "postgresql", rows,
        {"PostgreSQL",
         "[127.0.0.13]\nengine=postgresql\nsocket=" + cluster.socket() +
             "\ndatabase=postgres\nuser=postgres\n",
         u"127.0.0.13",
         u"CREATE TABLE 진료기록 " + replace_all(columns, u"%REAL%", u"DOUBLE PRECISION"),
         u"INSERT INTO 진료기록 SELECT " + values +
             u"TIMESTAMP '2024-03-05 14:07:09.123' FROM generate_series(1, " + count + u") x",
         std::string()});
    return status;
}

// One backend of the binary column benchmark: a table of two rows, the server address
// the manager connects to, and how the bare loop's table is made.
struct BlobBackend {
    const char* name;
    std::string servers_ini;
    Text server;
    Text blob_type;
};

void write_random_file(const fs::path& file, long mib) {
    std::ofstream out(file, std::ios::binary);
    std::mt19937 random(7);
    std::vector<char> chunk(1 << 20);
    for (long i = 0; i < mib; ++i) {
        for (auto& c : chunk) {
            c = static_cast<char>(random());
        }
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
}

// The memory targets of one backend; false when one fails.
bool blobs_on(const fs::path& root, long mib, const BlobBackend& backend) {
    BenchMachine machine(root, backend.servers_ini);
    std::ofstream(root / "bench.sqlite").close(); // SQLite: the server's database file, empty
    const fs::path in = root / "drive_c" / "in.bin";
    write_random_file(in, mib);
    const double bytes = static_cast<double>(mib) * 1024 * 1024;
    clsDBMng manager(machine.platform);
    if (manager.ConnectServerDB(backend.server, Text(u"sa"), Text(u"bench"), u"Holmaview") != 1) {
        std::cerr << backend.name << ": could not connect\n";
        return false;
    }
    const Text target = odbc_target(machine, manager.DBConnectString);
    if (!bench_db::run_statement(
            target.c_str(),
            (u"CREATE TABLE 사진 (번호 INTEGER PRIMARY KEY, 내용 " + backend.blob_type + u")")
                .c_str()) ||
        !bench_db::run_statement(target.c_str(), u"INSERT INTO 사진 VALUES (1, NULL), (2, NULL)")) {
        std::cerr << backend.name << ": could not make the table\n";
        return false;
    }
    std::shared_ptr<ado::Recordset> row =
        manager.GetRecordSet(u"SELECT 번호, 내용 FROM 사진 WHERE 번호 = 1", 0, 3, 3);
    int32_t saved = 0;
    const Step save = measure([&] { saved = manager.ImageDBSave(row->Fields(1), u"C:\\in.bin"); });
    const Step update = measure([&] { row->Update(); });
    row.reset();
    int32_t loaded = 0;
    std::shared_ptr<ado::Recordset> fresh;
    const Step open = measure(
        [&] { fresh = manager.GetRecordSet(u"SELECT 번호, 내용 FROM 사진 WHERE 번호 = 1"); });
    const Step load =
        measure([&] { loaded = manager.ImageDBLoad(fresh->Fields(1), u"C:\\out.bin"); });
    fresh.reset();
    const bool same = saved == static_cast<int32_t>(bytes) && loaded == 1 &&
                      fs::file_size(root / "drive_c" / "out.bin") == fs::file_size(in);

    // The driver's own cost of the same transfers, on row 2.
    const bench_db::PeerResult put = bench_db::put_file(
        target.c_str(), u"UPDATE 사진 SET 내용 = ? WHERE 번호 = 2", in.string().c_str());
    const bench_db::PeerResult get =
        bench_db::get_binary(target.c_str(), u"SELECT 번호, 내용 FROM 사진 WHERE 번호 = 2", 2);
    const bool peers_ok = put.ok && get.ok && put.bytes == static_cast<uint64_t>(bytes) &&
                          get.bytes == static_cast<uint64_t>(bytes);

    const double mib_d = static_cast<double>(mib);
    const long limit = 8L * 1024; // KiB
    const long blob_kib = mib * 1024;
    const bool save_ok = save.peak_kib < limit;
    const bool update_ok = update.peak_kib - put.peak_kib < limit;
    const bool open_ok = open.peak_kib - get.peak_kib < blob_kib + limit;
    const bool load_ok = load.peak_kib < limit;
    const auto verdict = [](bool ok) { return ok ? "met" : "MISSED"; };
    std::printf("blobs on %s: a %ld MiB file through a binary column (%s; peers %s)\n",
                backend.name, mib, same ? "restored intact" : "MISMATCH",
                peers_ok ? "complete" : "FAILED");
    std::printf("  step           time      rate         peak above baseline   target\n");
    std::printf("  ImageDBSave  : %7.1f ms %8.1f MiB/s  +%7.2f MiB          < 8 MiB: %s\n",
                save.seconds * 1000, mib_d / save.seconds, save.peak_kib / 1024.0,
                verdict(save_ok));
    std::printf("  Update       : %7.1f ms %8.1f MiB/s  +%7.2f MiB          < bare SQLPutData "
                "+%.2f MiB + 8 MiB: %s\n",
                update.seconds * 1000, mib_d / update.seconds, update.peak_kib / 1024.0,
                put.peak_kib / 1024.0, verdict(update_ok));
    std::printf("  GetRecordSet : %7.1f ms %8.1f MiB/s  +%7.2f MiB          < bare fetch "
                "+%.2f MiB + %ld MiB + 8 MiB: %s\n",
                open.seconds * 1000, mib_d / open.seconds, open.peak_kib / 1024.0,
                get.peak_kib / 1024.0, mib, verdict(open_ok));
    std::printf("  ImageDBLoad  : %7.1f ms %8.1f MiB/s  +%7.2f MiB          < 8 MiB: %s\n",
                load.seconds * 1000, mib_d / load.seconds, load.peak_kib / 1024.0,
                verdict(load_ok));
    std::printf("  above the bare loops: Update %+.2f MiB, GetRecordSet %+.2f MiB\n",
                (update.peak_kib - put.peak_kib) / 1024.0, (open.peak_kib - get.peak_kib) / 1024.0);
    std::printf("  bare SQLPutData %.1f ms, bare fetch %.1f ms\n", put.seconds * 1000,
                get.seconds * 1000);
    return same && peers_ok && save_ok && update_ok && open_ok && load_ok;
}

int blobs(const fs::path& root, long mib) {
    bool ok = true;
    fs::create_directories(root / "sqlite");
    ok = blobs_on(root / "sqlite", mib,
                  {"SQLite", "[127.0.0.12,4181]\nengine=sqlite\ndatabase=bench.sqlite\n",
                   u"127.0.0.12,4181", u"BLOB"}) &&
         ok;
    const BenchCluster cluster(root / "pg.state");
    if (!cluster.started()) {
        std::cerr << "blobs on PostgreSQL: no cluster could be started (scripts/pg-start.sh)\n";
        return 1;
    }
    fs::create_directories(root / "postgresql");
    ok = blobs_on(root / "postgresql", mib,
                  {"PostgreSQL",
                   "[127.0.0.13]\nengine=postgresql\nsocket=" + cluster.socket() +
                       "\ndatabase=postgres\nuser=postgres\n",
                   u"127.0.0.13", u"BYTEA"}) &&
         ok;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "all";
    const long size = argc > 2 ? std::atol(argv[2]) : 0;
    char pattern[] = "/tmp/pelto-bench-db.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 1;
    }
    const fs::path root = pattern;
    setenv("TMPDIR", root.c_str(), 1); // spilled field content stays in the bench folder
    int status = 0;
    if (what == "records" || what == "all") {
        fs::create_directories(root / "r");
        status |= records(root / "r", size > 0 && what != "all" ? size : 100000);
    }
    if (what == "blobs" || what == "all") {
        fs::create_directories(root / "b");
        status |= blobs(root / "b", size > 0 && what != "all" ? size : 64);
    }
    fs::remove_all(root);
    return status;
}
