// The command line: what is accepted, and that every wrong argument is a usage error.
#include "installer/arguments.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

namespace pelto::installer {
namespace {

using Kind = CommandLine::Kind;

TEST(Arguments, NamesInAnyCaseAndTheValueExactlyAsGiven) {
    const CommandLine line =
        parse_arguments({u"/code= 11 '=22 ", u"/Silent", u"/log=\\\\srv\\logs\\설치.log"});
    ASSERT_EQ(line.kind, Kind::Run);
    EXPECT_EQ(line.options.code, std::optional<Text>(u" 11 '=22 "));
    EXPECT_TRUE(line.options.silent);
    EXPECT_EQ(line.options.log, std::optional<Text>(u"\\\\srv\\logs\\설치.log"));

    const CommandLine none = parse_arguments({});
    EXPECT_EQ(none.kind, Kind::Run);
    EXPECT_FALSE(none.options.code || none.options.silent || none.options.log);
    EXPECT_EQ(parse_arguments({u"/LOG=C:/logs/run.log", u"/CODE=1"}).kind, Kind::Run);
    EXPECT_EQ(parse_arguments({u"/?"}).kind, Kind::Help);
}

TEST(Arguments, EveryWrongArgumentIsAUsageErrorThatNamesIt) {
    const std::vector<std::vector<Text>> wrong{
        {u"/SILENT"},                    // nobody to type the code
        {u"/silent", u"/log=C:\\x.log"}, // still no code
        {u"/CODE="},                     // an empty code
        {u"/CODE"},                      // no value at all
        {u"/CODE=1", u"/code=2"},        // twice
        {u"/CODE=1", u"/SILENT", u"/SILENT"},
        {u"/LOG=run.log"},           // relative: depends on the starting folder
        {u"/LOG=C:\\logs\\"},        // a folder, not a file
        {u"/LOG=C:\\logs\\r?n.log"}, // a character no path may hold
        {u"/LOG"},
        {u"/SILENT=yes", u"/CODE=1"},
        {u"-CODE=1"},      // not Windows style
        {u"11111111"},     // a bare code
        {u"/?", u"/NOPE"}, // help does not excuse a wrong argument
    };
    for (const std::vector<Text>& arguments : wrong) {
        const CommandLine line = parse_arguments(arguments);
        std::string shown;
        for (const Text& a : arguments) {
            shown += to_utf8(a) + " ";
        }
        EXPECT_EQ(line.kind, Kind::UsageError) << shown;
        EXPECT_TRUE(std::any_of(arguments.begin(), arguments.end(),
                                [&](const Text& a) { return line.fault.find(a) != Text::npos; }))
            << shown << to_utf8(line.fault);
    }
    // /SILENT given among wrong arguments still keeps the usage off the screen.
    EXPECT_TRUE(parse_arguments({u"/SILENT", u"/NOPE"}).silent_given);
    EXPECT_FALSE(parse_arguments({u"/NOPE"}).silent_given);
}

#ifdef PELTO_SOURCE_DIR
// The numbers a line of `text` begins with when it matches `line` (the numbers its groups
// take).
std::set<int> numbers_of_lines(const std::string& text, const std::regex& line) {
    std::set<int> numbers;
    std::istringstream lines(text);
    std::string one;
    while (std::getline(lines, one)) {
        std::smatch found;
        if (!std::regex_search(one, found, line)) {
            continue;
        }
        for (size_t i = 1; i < found.size(); ++i) {
            if (found[i].matched) {
                numbers.insert(std::stoi(found[i].str()));
            }
        }
    }
    return numbers;
}

std::string source_file(const std::string& relative) {
    std::ifstream in(std::string(PELTO_SOURCE_DIR) + "/" + relative);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every exit status of core/exit_status.h has its row in the usage's table and its line
// in the demo's summary, so that no status is a number nobody can look up.
TEST(Arguments, TheUsageAndTheDemoNameEveryExitStatus) {
    const std::set<int> statuses = numbers_of_lines(
        source_file("core/exit_status.h"), std::regex(R"(^constexpr int k[A-Za-z]+ = ([0-9]+);)"));
    ASSERT_GE(statuses.size(), 10U);
    // A row: "  N  ..." or "  N, M  ...".
    const std::set<int> in_usage =
        numbers_of_lines(to_utf8(usage_text()), std::regex(R"(^  ([0-9]+)(?:, ([0-9]+))?  )"));
    // A case of the demo's summary: "N)" or "N | M)".
    const std::set<int> in_demo = numbers_of_lines(
        source_file("scripts/demo.sh"), std::regex(R"(^ *([0-9]+)(?: \| ([0-9]+))?\) )"));
    for (const int status : statuses) {
        EXPECT_EQ(in_usage.count(status), 1U) << "the usage has no row for " << status;
        EXPECT_EQ(in_demo.count(status), 1U) << "scripts/demo.sh does not name " << status;
    }
}
#endif

} // namespace
} // namespace pelto::installer
