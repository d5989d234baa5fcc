// Benchmarks of the database manager on SQLite, each against peers measured in the same
// run: the loop a C program runs over the same ODBC driver (the floor: the driver's own
// cost), and the sqlite3 shell for reference.
//   bench_db records [ROWS]  GetRecordSet + every field of ROWS rows (default 100,000)
//                            against the bare ODBC loop reading every cell as wide text,
//                            and for reference the same loop reading each cell as the C
//                            type of its column, and the shell running the same query to
//                            /dev/null; five rounds, the median ratio;
//   bench_db blobs [MIB]     ImageDBSave + Update + GetRecordSet + ImageDBLoad of a
//                            MIB-mebibyte file (default 64), with the peak memory of each
//                            step above its baseline, against the bare ODBC SQLPutData and
//                            SQLGetData of the same file, and the shell's
//                            readfile()/writefile().
#include "bench/db/odbc_peer.h"
#include "db/cls_db_mng.h"
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
#include <iostream>
#include <random>
#include <string>
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

// Windows paths "C:\x" as files below the bench folder.
class HostFiles final : public platform::FileSystem {
public:
    explicit HostFiles(fs::path root) : root_(std::move(root)) {}
    fs::path host(TextView path) const {
        return root_ / to_utf8(replace_all(Text(path.substr(3)), u"\\", u"/"));
    }
    std::vector<platform::DirEntry> list(TextView pattern, uint32_t) override {
        if (!fs::is_regular_file(host(pattern))) {
            return {};
        }
        return {{Text(pattern), platform::attr::kArchive}};
    }
    std::optional<uint32_t> get_attributes(TextView path) override {
        return fs::exists(host(path)) ? std::optional<uint32_t>(platform::attr::kArchive)
                                      : std::nullopt;
    }
    bool set_attributes(TextView, uint32_t) override { return false; }
    bool delete_files(TextView pattern) override { return fs::remove(host(pattern)); }
    std::unique_ptr<platform::Folder> open_folder(TextView) override { return nullptr; }
    platform::PrivateFolder make_private_directory(TextView, platform::PrivateAccess) override {
        return platform::PrivateFolder::Refused;
    }
    platform::PrivateFolder private_directory_state(TextView) override {
        return platform::PrivateFolder::Refused;
    }
    bool move(TextView, TextView) override { return false; }
    std::unique_ptr<platform::File> open_file(TextView path, platform::FileMode mode) override {
        class HostFile final : public platform::File {
        public:
            explicit HostFile(std::fstream s) : s_(std::move(s)) {}
            std::optional<uint64_t> size() override {
                const auto here = s_.tellg();
                s_.seekg(0, std::ios::end);
                const auto end = s_.tellg();
                s_.seekg(here);
                return static_cast<uint64_t>(end);
            }
            std::optional<size_t> read(std::span<uint8_t> b) override {
                s_.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
                const auto n = static_cast<size_t>(s_.gcount());
                s_.clear();
                return n;
            }
            bool write(std::span<const uint8_t> d) override {
                s_.write(reinterpret_cast<const char*>(d.data()),
                         static_cast<std::streamsize>(d.size()));
                return static_cast<bool>(s_);
            }

        private:
            std::fstream s_;
        };
        const fs::path file = host(path);
        if (mode == platform::FileMode::ReadWrite && !fs::exists(file)) {
            std::ofstream(file).close();
        }
        std::fstream s(file, mode == platform::FileMode::Read
                                 ? std::ios::in | std::ios::binary
                                 : std::ios::in | std::ios::out | std::ios::binary);
        return s ? std::make_unique<HostFile>(std::move(s)) : nullptr;
    }
    Text program_folder() override { return u"C:\\bench"; }

private:
    fs::path root_;
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
    bool write_private_profile_string(TextView, TextView, TextView, TextView) override {
        return false;
    }
};
class NoShell final : public platform::ShellCopy {
public:
    int copy_file(const platform::OwnerWindow&, TextView, TextView) override { return 1; }
};
class NoProcesses final : public platform::Processes {
public:
    std::unique_ptr<platform::Process> start(TextView, int, TextView) override { return nullptr; }
};

struct BenchMachine {
    explicit BenchMachine(const fs::path& root)
        : files(root / "files"), machine(root),
          odbc(machine, {}), platform{registry, profiles, files, shell,  processes,
                                      ui,       odbc,     log,   session} {
        fs::create_directories(root / "files");
        fs::create_directories(root / "network");
        std::ofstream(root / "network" / "servers.ini")
            << "[127.0.0.12,4181]\nengine=sqlite\ndatabase=bench.sqlite\ncatalogs=Holmaview\n"
               "login=sa:bench\n";
    }
    QuietUi ui;
    StderrLog log;
    HostFiles files;
    NoRegistry registry;
    NoProfiles profiles;
    NoShell shell;
    NoProcesses processes;
    platform::portable::MachineRoot machine;
    platform::portable::PortableOdbcProviders odbc;
    platform::portable::PortableSession session{machine, log};
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

int records(const fs::path& root, long rows) {
    const fs::path db = root / "bench.sqlite";
    shell(std::string(PELTO_SQLITE3_SHELL) + " " + quoted(db.string()) +
          " \"CREATE TABLE 진료기록 (번호 INTEGER PRIMARY KEY, 환자명 TEXT, 금액 REAL, 메모 TEXT, "
          "방문일 TIMESTAMP); WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE "
          "x < " +
          std::to_string(rows) +
          ") INSERT INTO 진료기록 SELECT x, '환자' || x, x * 1.5, 'memo text for visit ' || x, "
          "'2024-03-05 14:07:09.123' FROM c;\"");
    const std::string query = "SELECT 번호, 환자명, 금액, 메모, 방문일 FROM 진료기록";

    BenchMachine machine(root);
    Text gSQL;
    clsDBMng manager(machine.platform, gSQL);
    if (manager.ConnectServerDB(Text(u"127.0.0.12,4181"), Text(u"sa"), Text(u"bench"),
                                u"Holmaview") != 1) {
        std::cerr << "could not connect\n";
        return 1;
    }
    const Text target = odbc_target(machine, manager.DBConnectString);
    const Text wide_query = from_utf8(query);
    constexpr int kRounds = 5;
    std::vector<double> ours;
    std::vector<double> bare;
    std::vector<double> typed;
    std::vector<double> shell_times;
    std::vector<double> to_bare;
    std::vector<double> to_shell;
    std::vector<double> to_typed;
    long cells = 0;
    long bare_cells = 0;
    for (int round = 0; round < kRounds; ++round) {
        cells = 0;
        const auto start = Clock::now();
        const auto rs = manager.GetRecordSet(wide_query);
        const int32_t fields = rs->FieldsCount();
        while (!rs->Eof()) {
            for (int32_t f = 0; f < fields; ++f) {
                const Variant v = rs->Fields(f).Value();
                cells += v.is_null() ? 0 : 1;
            }
            rs->MoveNext();
        }
        ours.push_back(seconds_since(start));

        const bench_db::PeerResult peer =
            bench_db::read_all_as_text(target.c_str(), wide_query.c_str());
        if (!peer.ok) {
            std::cerr << "the bare ODBC loop failed\n";
            return 1;
        }
        bare.push_back(peer.seconds);
        bare_cells = peer.cells;

        const bench_db::PeerResult typed_peer =
            bench_db::read_all_typed(target.c_str(), wide_query.c_str());
        if (!typed_peer.ok || typed_peer.cells != peer.cells) {
            std::cerr << "the typed ODBC loop failed\n";
            return 1;
        }
        typed.push_back(typed_peer.seconds);
        to_typed.push_back(ours.back() / typed.back());

        const auto shell_start = Clock::now();
        shell(std::string(PELTO_SQLITE3_SHELL) + " " + quoted(db.string()) + " \"" + query +
              "\" > /dev/null");
        shell_times.push_back(seconds_since(shell_start));
        to_bare.push_back(ours.back() / bare.back());
        to_shell.push_back(ours.back() / shell_times.back());
    }
    std::printf("records: %ld rows x 5 fields (%ld cells read; the bare loop %ld)\n", rows, cells,
                bare_cells);
    std::printf("  GetRecordSet + every field     : %8.1f ms (median of %d)\n", median(ours) * 1000,
                kRounds);
    std::printf("  bare ODBC loop, cells as text  : %8.1f ms\n", median(bare) * 1000);
    std::printf("  bare ODBC loop, typed cells    : %8.1f ms\n", median(typed) * 1000);
    std::printf("  sqlite3 shell to /dev/null     : %8.1f ms\n", median(shell_times) * 1000);
    std::printf("  ratio to the bare ODBC loop    : %8.2f   (median of the rounds' ratios; "
                "target <= 1.0)\n",
                median(to_bare));
    std::printf("  ratio to the typed ODBC loop   : %8.2f   (for reference)\n", median(to_typed));
    std::printf("  ratio to the sqlite3 shell     : %8.2f   (for reference)\n", median(to_shell));
    for (int round = 0; round < kRounds; ++round) {
        const auto r = static_cast<size_t>(round);
        std::printf("    round %d: %.2f / %.2f (typed %.2f)\n", round + 1, to_bare[r], to_shell[r],
                    to_typed[r]);
    }
    return 0;
}

int blobs(const fs::path& root, long mib) {
    const fs::path db = root / "bench.sqlite";
    shell(std::string(PELTO_SQLITE3_SHELL) + " " + quoted(db.string()) +
          " \"CREATE TABLE 사진 (번호 INTEGER PRIMARY KEY, 내용 BLOB); INSERT INTO 사진 VALUES (1, "
          "NULL), (2, NULL);\"");
    BenchMachine machine(root);
    const fs::path in = root / "files" / "in.bin";
    {
        std::ofstream out(in, std::ios::binary);
        std::mt19937 random(7);
        std::vector<char> chunk(1 << 20);
        for (long i = 0; i < mib; ++i) {
            for (auto& c : chunk) {
                c = static_cast<char>(random());
            }
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    const double bytes = static_cast<double>(mib) * 1024 * 1024;
    Text gSQL;
    clsDBMng manager(machine.platform, gSQL);
    if (manager.ConnectServerDB(Text(u"127.0.0.12,4181"), Text(u"sa"), Text(u"bench"),
                                u"Holmaview") != 1) {
        std::cerr << "could not connect\n";
        return 1;
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
                      fs::file_size(root / "files" / "out.bin") == fs::file_size(in);

    // The driver's own cost of the same transfers, on row 2.
    const Text target = odbc_target(machine, manager.DBConnectString);
    const bench_db::PeerResult put = bench_db::put_file(
        target.c_str(), u"UPDATE 사진 SET 내용 = ? WHERE 번호 = 2", in.string().c_str());
    const bench_db::PeerResult get =
        bench_db::get_binary(target.c_str(), u"SELECT 번호, 내용 FROM 사진 WHERE 번호 = 2", 2);
    const bool peers_ok = put.ok && get.ok && put.bytes == static_cast<uint64_t>(bytes) &&
                          get.bytes == static_cast<uint64_t>(bytes);

    const auto peer_start = Clock::now();
    shell(std::string(PELTO_SQLITE3_SHELL) + " " + quoted(db.string()) +
          " \"UPDATE 사진 SET 내용 = readfile(" + quoted(in.string()) +
          ") WHERE 번호 = 2; SELECT writefile(" + quoted((root / "files" / "peer.bin").string()) +
          ", 내용) FROM 사진 WHERE 번호 = 2;\" > /dev/null");
    const double peer = seconds_since(peer_start);

    const double ours = save.seconds + update.seconds + open.seconds + load.seconds;
    const double mib_d = static_cast<double>(mib);
    std::printf("blobs: a %ld MiB file through a BLOB column (%s; peers %s)\n", mib,
                same ? "restored intact" : "MISMATCH", peers_ok ? "complete" : "FAILED");
    std::printf("  step           time      rate         peak above baseline   bare ODBC peer\n");
    std::printf("  ImageDBSave  : %7.1f ms %8.1f MiB/s  +%7.2f MiB\n", save.seconds * 1000,
                mib_d / save.seconds, save.peak_kib / 1024.0);
    std::printf("  Update       : %7.1f ms %8.1f MiB/s  +%7.2f MiB          SQLPutData +%7.2f MiB "
                "(%6.1f ms)\n",
                update.seconds * 1000, mib_d / update.seconds, update.peak_kib / 1024.0,
                put.peak_kib / 1024.0, put.seconds * 1000);
    std::printf("  GetRecordSet : %7.1f ms %8.1f MiB/s  +%7.2f MiB          SQLGetData +%7.2f MiB "
                "(%6.1f ms)\n",
                open.seconds * 1000, mib_d / open.seconds, open.peak_kib / 1024.0,
                get.peak_kib / 1024.0, get.seconds * 1000);
    std::printf("  ImageDBLoad  : %7.1f ms %8.1f MiB/s  +%7.2f MiB\n", load.seconds * 1000,
                mib_d / load.seconds, load.peak_kib / 1024.0);
    std::printf("  all          : %7.1f ms %8.1f MiB/s\n", ours * 1000, mib_d / ours);
    std::printf("  above the driver: Update %+.2f MiB, GetRecordSet %+.2f MiB (the blob is %ld "
                "MiB)\n",
                (update.peak_kib - put.peak_kib) / 1024.0, (open.peak_kib - get.peak_kib) / 1024.0,
                mib);
    std::printf("  sqlite3 shell readfile + writefile: %7.1f ms; ratio %.2f\n", peer * 1000,
                ours / peer);
    return same && peers_ok && save.peak_kib < 8L * 1024 && load.peak_kib < 8L * 1024 ? 0 : 1;
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
