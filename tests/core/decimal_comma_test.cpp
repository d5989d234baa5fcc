// The Variant's number texts must not follow the process's number locale: the program
// sets only the character type, but a driver or a host can still switch LC_NUMERIC, and
// "2.5" must stay two and a half.
#include "core/variant.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace pelto {
namespace {

// Switches LC_NUMERIC to a decimal-comma locale for the test's length. On Linux the
// locale is compiled by the test into its own folder (nothing beyond C.UTF-8 need be
// installed); msvcrt knows German by name.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
#ifdef _WIN32
        active_ = std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
#else
        folder_ =
            std::filesystem::temp_directory_path() / ("pelto-locale-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        const std::string command = "localedef -i de_DE -f UTF-8 '" + folder_.string() +
                                    "/de_DE.UTF-8' </dev/null >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) { // NOLINT(cert-env33-c): the test's own tool
            ::setenv("LOCPATH", folder_.c_str(), 1);
            active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        }
#endif
        active_ = active_ && std::localeconv()->decimal_point[0] == ',';
    }
    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, "C");
#ifndef _WIN32
        ::unsetenv("LOCPATH");
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
#endif
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
    bool active() const {
        return active_;
    }

private:
    bool active_ = false;
#ifndef _WIN32
    std::filesystem::path folder_;
#endif
};

TEST(Variant, NumberTextsIgnoreADecimalCommaLocale) {
    const DecimalCommaLocale locale;
    ASSERT_TRUE(locale.active()) << "no decimal-comma locale could be made";
    EXPECT_EQ(Variant(u"2.5").to_double(), 2.5);
    EXPECT_EQ(Variant(u"1,000.25").to_double(), 1000.25);
    EXPECT_EQ(Variant(u"-1.5e-3").to_double(), -0.0015);
    EXPECT_EQ(Variant(1.5).to_text(), u"1.5");
    EXPECT_EQ(Variant(1e-7).to_text(), u"1E-07");
    EXPECT_EQ(Variant(1.25).to_decimal().to_text(), u"1.25");
}

} // namespace
} // namespace pelto
