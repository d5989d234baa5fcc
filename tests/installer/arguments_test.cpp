// The command line: what is accepted, and that every wrong argument is a usage error.
#include "installer/arguments.h"

#include <algorithm>
#include <gtest/gtest.h>

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

} // namespace
} // namespace pelto::installer
