// The shell's copy of the installer and updater into the staging folder, unattended (no
// one answers a question in a test): the file arrives whole under its own name, replaces
// what was there, and a copy that cannot be made leaves everything as it was.
#include "tests/contract/contract_machine.h"

#include <gtest/gtest.h>

namespace pelto::contract {
namespace {

class NoOwner final : public platform::OwnerWindow {
public:
    void* native_handle() const override { return nullptr; }
};

class ShellCopyContract : public ::testing::Test {
protected:
    void SetUp() override {
        m.make_folder(m.path(u"update"));
        m.make_folder(m.path(u"펠토사용자설치"));
        m.platform().shell.set_unattended(true);
    }
    // The copy into the folder, held open as the run holds it.
    int copy(TextView source, TextView folder) {
        const std::unique_ptr<platform::Folder> open =
            platform::paths(m.platform()).open_folder(folder);
        return open ? m.platform().shell.copy_file(owner_, source, *open) : -1;
    }
    ContractMachine m;
    NoOwner owner_;
    const Text staging = m.path(u"펠토사용자설치");
};

TEST_F(ShellCopyContract, TheFileArrivesWholeUnderItsOwnNameAndReplacesAnyCase) {
    std::string big(3U << 20U, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 13);
    }
    m.write_file(m.path(u"update\\installpelto_H.exe"), big);
    m.write_file(m.path(u"update\\PeltoUpdate_H.exe"), "new");
    m.write_file(staging + u"\\PeltoUpdate_H.exe", "old");

    EXPECT_EQ(copy(m.path(u"UPDATE\\INSTALLPELTO_H.EXE"), staging), 0);
    EXPECT_EQ(m.read_file(staging + u"\\installpelto_H.exe"), big);
    EXPECT_EQ(copy(m.path(u"update\\PeltoUpdate_H.exe"), staging + u"\\"), 0);
    EXPECT_EQ(m.read_file(staging + u"\\PeltoUpdate_H.exe"), std::optional<std::string>("new"));
    const auto listed =
        platform::paths(m.platform()).list(staging + u"\\*.exe", platform::attr::kNormal);
    EXPECT_EQ(listed.size(), 2U);
}

TEST_F(ShellCopyContract, ACopyThatCannotBeMadeIsReportedAndChangesNothing) {
    EXPECT_NE(copy(m.path(u"update\\installpelto_H.exe"), staging), 0);
    EXPECT_FALSE(m.exists(staging + u"\\installpelto_H.exe"));

    // Onto itself: the only copy stays as it is. (The status is the shell's: Windows and
    // the Linux build answer 0x71, DE_SAMEFILE; Wine answers 0.)
    m.write_file(staging + u"\\PeltoUpdate_H.exe", "only copy");
    copy(staging + u"\\PeltoUpdate_H.exe", staging);
    EXPECT_EQ(m.read_file(staging + u"\\PeltoUpdate_H.exe"),
              std::optional<std::string>("only copy"));
}

} // namespace
} // namespace pelto::contract
