// pelto-cipher: answers, statuses and messages, driven through its own streams.
#include "tools/pelto-cipher/cipher_cli.h"

#include <gtest/gtest.h>
#include <sstream>

namespace pelto::tools {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun run(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    ToolRun r;
    r.status = run_cipher_cli(args, in, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// "abc" under each key text (see vectors/text_form.txt).
const std::string kAbcFirst = "9E4D6DE5CB016DB0E68D7C65AF58C517B02010846CC439F8C1459700D3DA3AF6";
const std::string kAbcSecond = "EA1BE7DCE53A52DD9BB6663B606BA01A03F975B96A68C67258B1B7B50B0C38E0";

TEST(PeltoCipherTool, EnciphersAndDeciphersWithEitherKeyText) {
    EXPECT_EQ(run({"encrypt", "abc"}).out, kAbcFirst + "\n");
    EXPECT_EQ(run({"encrypt", "--second-key", "abc"}).out, kAbcSecond + "\n");
    EXPECT_EQ(run({"encrypt", "abc", "--second-key"}).out, kAbcSecond + "\n");

    const ToolRun plain = run({"decrypt", kAbcFirst});
    EXPECT_EQ(plain.status, kExitOk);
    EXPECT_EQ(plain.out, "abc           \n"); // trailing spaces kept
    EXPECT_EQ(run({"decrypt", "--second-key", kAbcFirst}).out, std::string(14, ' ') + "\n");

    const ToolRun korean = run({"encrypt", "비밀번호"});
    ASSERT_EQ(korean.status, kExitOk);
    EXPECT_EQ(run({"decrypt", korean.out.substr(0, 64)}).out, "비밀번호          \n");
    // A text that begins with '-' after "--".
    const ToolRun dash = run({"encrypt", "--", "-x"});
    EXPECT_EQ(dash.status, kExitOk);
    EXPECT_EQ(run({"decrypt", dash.out.substr(0, 64)}).out, "-x" + std::string(12, ' ') + "\n");
}

TEST(PeltoCipherTool, MalformedDigitsAreReportedWithStatus2) {
    const ToolRun odd = run({"decrypt", "ABC"});
    EXPECT_EQ(odd.status, kExitMalformed);
    EXPECT_NE(odd.err.find("odd number"), std::string::npos) << odd.err;
    const ToolRun bad = run({"decrypt", "00zz"});
    EXPECT_EQ(bad.status, kExitMalformed);
    EXPECT_NE(bad.err.find("character 3"), std::string::npos) << bad.err;
}

TEST(PeltoCipherTool, StandardInputGetsOneAnswerLinePerLineAndGoesOnAfterErrors) {
    const std::string input =
        kAbcFirst + "\r\n" + "zz\n" + "\n" + "abc\n" + kAbcFirst; // no final newline
    const ToolRun r = run({"decrypt", "-"}, input);
    EXPECT_EQ(r.status, kExitMalformed);
    EXPECT_EQ(r.out, "abc           \n\n\n\nabc           \n");
    EXPECT_NE(r.err.find("line 2:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 4:"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("line 1:"), std::string::npos) << r.err;

    const ToolRun enc = run({"encrypt", "--second-key", "-"}, "abc\n   \n");
    EXPECT_EQ(enc.status, kExitOk);
    EXPECT_EQ(enc.out, kAbcSecond + "\n   \n");
}

TEST(PeltoCipherTool, InputThatIsNotUtf8IsRefusedWithoutEchoingIt) {
    const ToolRun r = run({"encrypt", "secret\xff"});
    EXPECT_EQ(r.status, kExitMalformed);
    EXPECT_EQ(r.out, "\n");
    EXPECT_NE(r.err.find("UTF-8"), std::string::npos);
    EXPECT_EQ(r.err.find("secret"), std::string::npos);
}

TEST(PeltoCipherTool, WrongUsageGivesStatus64AndTheUsage) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"encode", "abc"},
        {"encrypt"},
        {"decrypt", "--first-key", "00"},
        {"encrypt", "a", "b"},
        {"decrypt", "--second-key"},
    };
    for (const auto& args : wrong) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, kExitUsage) << args.size();
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("usage:"), std::string::npos);
    }
    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.status, kExitOk);
    EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

} // namespace
} // namespace pelto::tools
