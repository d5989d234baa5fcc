// The string cipher against libmcrypt's rijndael-256, measured in the same run:
//  (a) message encryption and decryption of 16 MiB, throughput;
//  (b) the installer's workload, fG_복호화 of a 64-digit password, calls per second,
//      against libmcrypt doing a key set-up and one block decryption per call, and
//      against one bare libmcrypt block decryption with a prepared key.
// Prints the ratios at the end.
#include "cipher/cls_zan_cipher.h"
#include "cipher/message_layer.h"
#include "cipher/text_form.h"
#include "tests/cipher/mcrypt_peer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using pelto::cipher::Bytes;
using pelto::cipher::MessageLayer;
using pelto::cipher::testing::McryptRijndael;

constexpr size_t kBulkBytes = size_t{16} << 20U;

Bytes random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) {
        x = static_cast<uint8_t>(rng());
    }
    return b;
}

const Bytes& bulk_message() {
    static const Bytes message = random_bytes(kBulkBytes, 1);
    return message;
}
const Bytes& bulk_key() {
    static const Bytes key = random_bytes(32, 2);
    return key;
}

// --- (a) bulk --------------------------------------------------------------------

void ours_encrypt_16mib(benchmark::State& state) {
    MessageLayer layer;
    for (auto _ : state) {
        Bytes sealed = layer.f_EncryptBytes(bulk_message(), bulk_key());
        benchmark::DoNotOptimize(sealed.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulkBytes));
}

void ours_decrypt_16mib(benchmark::State& state) {
    MessageLayer layer;
    const Bytes sealed = layer.f_EncryptBytes(bulk_message(), bulk_key());
    for (auto _ : state) {
        Bytes plain = layer.f_DecryptBytes(sealed, bulk_key());
        benchmark::DoNotOptimize(plain.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulkBytes));
}

// libmcrypt enciphers in place, on the laid-out message, with its key prepared once.
void mcrypt_encrypt_16mib(benchmark::State& state) {
    McryptRijndael peer(32);
    peer.set_key(bulk_key().data(), 32);
    Bytes buffer(kBulkBytes + 32, 0);
    std::copy(bulk_message().begin(), bulk_message().end(), buffer.begin() + 4);
    for (auto _ : state) {
        peer.encrypt(buffer.data(), static_cast<int>(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulkBytes));
}

void mcrypt_decrypt_16mib(benchmark::State& state) {
    McryptRijndael peer(32);
    peer.set_key(bulk_key().data(), 32);
    Bytes buffer(kBulkBytes + 32, 0);
    for (auto _ : state) {
        peer.decrypt(buffer.data(), static_cast<int>(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBulkBytes));
}

// --- (b) the installer's workload ---------------------------------------------------

const pelto::Text& password_digits() {
    static const pelto::Text digits = pelto::clsZan암호화().fG_암호화(u"sa_Pelto#2024", true);
    return digits;
}

void ours_decrypt_password(benchmark::State& state) {
    pelto::clsZan암호화 cipher;
    const pelto::Text& digits = password_digits();
    for (auto _ : state) {
        pelto::Text text = cipher.fG_복호화(digits, true);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void mcrypt_key_and_block(benchmark::State& state) {
    McryptRijndael peer(32);
    const Bytes key = pelto::cipher::utf16_bytes(pelto::clsZan암호화::kBeforeKeyText);
    Bytes key32 = key;
    key32.resize(32, 0);
    const Bytes sealed = pelto::cipher::read_hex_pairs(password_digits());
    Bytes block(32);
    for (auto _ : state) {
        std::copy(sealed.begin(), sealed.end(), block.begin());
        peer.set_key(key32.data(), 32);
        peer.decrypt(block.data(), 32);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void mcrypt_bare_block(benchmark::State& state) {
    McryptRijndael peer(32);
    Bytes key32 = pelto::cipher::utf16_bytes(pelto::clsZan암호화::kBeforeKeyText);
    key32.resize(32, 0);
    peer.set_key(key32.data(), 32);
    Bytes block = pelto::cipher::read_hex_pairs(password_digits());
    for (auto _ : state) {
        peer.decrypt(block.data(), 32);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(ours_encrypt_16mib)->Unit(benchmark::kMillisecond);
BENCHMARK(mcrypt_encrypt_16mib)->Unit(benchmark::kMillisecond);
BENCHMARK(ours_decrypt_16mib)->Unit(benchmark::kMillisecond);
BENCHMARK(mcrypt_decrypt_16mib)->Unit(benchmark::kMillisecond);
BENCHMARK(ours_decrypt_password);
BENCHMARK(mcrypt_key_and_block);
BENCHMARK(mcrypt_bare_block);

// Shows the median of each benchmark's repetitions and keeps the CPU seconds per
// iteration of every repetition for the ratios. The machine may be shared, so the
// ratios use CPU time, and the medians of repetitions run in random order.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !run.error_occurred) {
                seconds_[run.run_name.function_name].push_back(run.cpu_accumulated_time /
                                                               static_cast<double>(run.iterations));
            }
            if ((run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") ||
                run.repetitions <= 1) {
                shown.push_back(run);
            }
        }
        if (!shown.empty()) {
            ConsoleReporter::ReportRuns(shown);
        }
    }

    // Median peer time / median own time: above 1 means ours is faster.
    void print_ratio(const char* what, const std::string& ours, const std::string& peer,
                     double target) const {
        const double o = median(ours);
        const double p = median(peer);
        if (o <= 0 || p <= 0) {
            return;
        }
        const double ratio = p / o;
        std::printf("  %-62s %8.2fx  (target >= %.2fx: %s)\n", what, ratio, target,
                    ratio >= target ? "met" : "NOT MET");
    }

private:
    double median(const std::string& name) const {
        const auto found = seconds_.find(name);
        if (found == seconds_.end() || found->second.empty()) {
            return 0;
        }
        std::vector<double> v = found->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }

    std::map<std::string, std::vector<double>> seconds_;
};

} // namespace

int main(int argc, char** argv) {
    // Five repetitions in random order unless the command line says otherwise.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    bool repetitions_given = false;
    for (int i = 1; i < argc; ++i) {
        repetitions_given |= std::string(argv[i]).starts_with("--benchmark_repetitions");
    }
    if (!repetitions_given) {
        args.push_back(repetitions.data());
        args.push_back(interleave.data());
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nString cipher against libmcrypt rijndael-256, same run, median CPU time:\n");
    reporter.print_ratio("(a) 16 MiB message encryption, throughput ours/libmcrypt",
                         "ours_encrypt_16mib", "mcrypt_encrypt_16mib", 1.0);
    reporter.print_ratio("(a) 16 MiB message decryption, throughput ours/libmcrypt",
                         "ours_decrypt_16mib", "mcrypt_decrypt_16mib", 1.0);
    reporter.print_ratio("(b) fG_복호화 64 digits vs libmcrypt key set-up + block, calls/s",
                         "ours_decrypt_password", "mcrypt_key_and_block", 10.0);
    reporter.print_ratio("(b) fG_복호화 64 digits vs libmcrypt bare block, calls/s",
                         "ours_decrypt_password", "mcrypt_bare_block", 0.25);
    return 0;
}
