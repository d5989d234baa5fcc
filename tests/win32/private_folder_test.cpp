// The run's private folders: the run uses one only when it made it itself, and never
// takes one over.
//
// Wine keeps rights as Unix permission bits (platform/win32/security/private_folder.h): it reads
// every file back as owned by the program's own user and never as protected, and it has
// no place for the Users group. The rule itself is therefore proved on descriptors as
// Windows keeps them; on the file system, Wine shows who else may change a folder (the
// others' Unix bits, read back as Everyone), and real Windows shows the rest.
#include "platform/path_files.h"
#include "platform/win32/files/filesystem_win32.h"
#include "platform/win32/security/private_folder.h"
#include "platform/win32/security/security_descriptor.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <optional>
#include <sddl.h>
#include <string>
#include <vector>

namespace pelto::win32_test {
namespace {

using platform::PrivateAccess;
using platform::PrivateFolder;
using platform::win32::RightsReading;
using platform::win32::SddlDescriptor;

constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                      FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool under_wine() {
    return platform::win32::rights_reading() == RightsReading::Wine;
}

std::wstring sid_text(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return L"?";
    }
    std::wstring out = text;
    LocalFree(text);
    return out;
}

// Who the rights of `path` name, and with which rights (allowing entries only).
struct ReadRights {
    std::wstring owner;
    std::vector<std::pair<std::wstring, ACCESS_MASK>> allowed;
    bool protected_from_parent = false;

    std::optional<ACCESS_MASK> of(const std::wstring& sid) const {
        for (const auto& [who, mask] : allowed) {
            if (who == sid) {
                return mask;
            }
        }
        return std::nullopt;
    }
};

std::optional<ReadRights> read_rights(const std::wstring& path) {
    const platform::win32::FileHandle handle(CreateFileW(
        path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = ERROR_SUCCESS;
    const platform::win32::LocalMemory descriptor =
        handle ? platform::win32::read_owner_and_rights(handle.get(), error)
               : platform::win32::LocalMemory();
    if (!descriptor) {
        return std::nullopt;
    }
    ReadRights rights;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted) && owner != nullptr) {
        rights.owner = sid_text(owner);
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor.get(), &control, &revision);
    rights.protected_from_parent = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) || !present ||
        dacl == nullptr) {
        return std::nullopt; // no DACL at all: everyone may do everything
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace) &&
            static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            rights.allowed.emplace_back(sid_text(&allowed->SidStart), allowed->Mask);
        }
    }
    return rights;
}

constexpr const wchar_t* kSystem = L"S-1-5-18";
constexpr const wchar_t* kAdministrators = L"S-1-5-32-544";
constexpr const wchar_t* kUsers = L"S-1-5-32-545";
constexpr const wchar_t* kEveryone = L"S-1-1-0";

// Nobody but SYSTEM and Administrators (under Wine: the owner, who stands for them) is
// named; with `users_read`, Users may also read and run what it holds (Windows only).
void expect_private(const std::wstring& path, bool users_read) {
    SCOPED_TRACE(to_utf8(text_of(path)));
    const std::optional<ReadRights> rights = read_rights(path);
    ASSERT_TRUE(rights.has_value()) << "no access rights read back";
    for (const auto& [who, mask] : rights->allowed) {
        const bool administrator =
            who == kSystem || who == kAdministrators || (under_wine() && who == rights->owner);
        const bool reader = users_read && who == kUsers && (mask & kChangeRights) == 0;
        EXPECT_TRUE(administrator || reader)
            << "access granted to " << to_utf8(text_of(who)) << ": " << std::hex << mask;
    }
    EXPECT_EQ(rights->of(kSystem).value_or(0) & FILE_ALL_ACCESS, FILE_ALL_ACCESS);
    if (!under_wine()) {
        EXPECT_TRUE(rights->protected_from_parent) << "rights still inherited from the parent";
        EXPECT_EQ(rights->owner, kAdministrators);
        EXPECT_EQ(rights->of(kUsers).has_value(), users_read);
    }
}

// Whether the privilege `name` is enabled in the program's token.
bool privilege_enabled(const wchar_t* name) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return false;
    }
    const platform::win32::KernelHandle token(raw);
    LUID luid{};
    LookupPrivilegeValueW(nullptr, name, &luid);
    PRIVILEGE_SET set{1, PRIVILEGE_SET_ALL_NECESSARY, {{luid, 0}}};
    BOOL held = FALSE;
    return PrivilegeCheck(token.get(), &set, &held) && held;
}

// What a run needs never gives the program the privileges that would let it open any
// file and take it over, and so would pass on to the programs it starts.
void expect_no_takeover_privileges() {
    EXPECT_FALSE(privilege_enabled(SE_TAKE_OWNERSHIP_NAME));
    EXPECT_FALSE(privilege_enabled(SE_RESTORE_NAME));
}

class PrivateFolderTest : public ::testing::Test {
protected:
    PrivateFolder make(const std::wstring& path, PrivateAccess access) {
        return platform::PathFiles(files_, log_)
            .make_private_directory(text_of(path), access)
            .state;
    }

    TempFolder temp_;
    MemoryLog log_;
    platform::win32::Win32FileSystem files_{log_};
};

// The rule as Windows keeps rights: the owner shows who made (or took) the folder, which
// a standard user cannot set to SYSTEM or Administrators; the protection and the entries
// show who may change it and what new entries in it inherit.
TEST(PrivateFolderRule, TrustsOnlyWhatNobodyButAdministratorsCanHaveMadeOrChanged) {
    const auto trusted = [](const std::wstring& sddl,
                            RightsReading reading = RightsReading::Windows,
                            PSID run_user = nullptr) {
        const SddlDescriptor descriptor(sddl);
        EXPECT_TRUE(descriptor) << to_utf8(text_of(sddl));
        return descriptor &&
               platform::win32::held_by_administrators(descriptor.get(), reading, run_user);
    };
    const std::wstring admins = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    // Made by this program, now or by an older version (Users read and run).
    EXPECT_TRUE(trusted(L"O:BAD:P" + admins));
    EXPECT_TRUE(trusted(L"O:BAD:P" + admins + L"(A;OICI;0x1200a9;;;BU)"));
    EXPECT_TRUE(trusted(L"O:SYD:P" + admins + L"(A;OICI;GRGX;;;AU)"));
    EXPECT_TRUE(trusted(L"O:BAD:P" + admins + L"(D;OICI;FA;;;WD)"));
    // Another owner; rights still taken from the parent; none at all.
    EXPECT_FALSE(trusted(L"O:S-1-5-21-1-2-3-1001D:P" + admins));
    EXPECT_FALSE(trusted(L"O:BAD:" + admins));
    // Each part of the rule is told apart: a link an administrator made, which nobody
    // else may change, is followed although its rights are not protected.
    const SddlDescriptor link(L"O:BAD:" + admins + L"(A;;0x1200a9;;;WD)");
    const platform::win32::RightsVerdict verdict =
        platform::win32::judge_rights(link.get(), RightsReading::Windows, nullptr);
    EXPECT_TRUE(verdict.owned_by_run);
    EXPECT_FALSE(verdict.others_may_change);
    EXPECT_FALSE(verdict.protected_rights);
    EXPECT_FALSE(trusted(L"O:BAD:NO_ACCESS_CONTROL"));
    // Others may change it, or what is made in it, or its rights.
    EXPECT_FALSE(trusted(L"O:BAD:P" + admins + L"(A;OICI;0x1301bf;;;BU)"));
    EXPECT_FALSE(trusted(L"O:BAD:P" + admins + L"(A;OICIIO;0x1301bf;;;AU)"));
    EXPECT_FALSE(trusted(L"O:BAD:P" + admins + L"(A;OICIIO;FA;;;CO)"));
    EXPECT_FALSE(trusted(L"O:BAD:P" + admins + L"(A;;WD;;;WD)"));
    EXPECT_FALSE(trusted(L"O:BAD:P" + admins + L"(A;;GA;;;S-1-5-21-1-2-3-1001)"));

    // Wine's reading: the run's own user stands for the administrators, and nothing is
    // protected; who else may change the folder still decides.
    SddlDescriptor wine_user(L"O:S-1-5-21-0-0-0-1000D:");
    PSID user = nullptr;
    BOOL defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(wine_user.get(), &user, &defaulted));
    const std::wstring made =
        L"O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)";
    EXPECT_TRUE(trusted(made, RightsReading::Wine, user));
    EXPECT_TRUE(trusted(made + L"(A;OICI;0x1200a9;;;WD)", RightsReading::Wine, user));
    EXPECT_FALSE(trusted(made + L"(A;OICI;0x1301bf;;;WD)", RightsReading::Wine, user));
    EXPECT_FALSE(trusted(made, RightsReading::Windows, user));
}

TEST_F(PrivateFolderTest, AFolderTheProgramMadeIsTrustedAndKeepsItsRights) {
    const std::wstring staging = temp_ / L"펠토사용자설치";
    const std::wstring kept = staging + L"\\보관";
    ASSERT_EQ(make(staging, PrivateAccess::AdministratorsChange), PrivateFolder::Created);
    ASSERT_EQ(make(kept, PrivateAccess::AdministratorsOnly), PrivateFolder::Created);
    EXPECT_EQ(make(staging, PrivateAccess::AdministratorsChange), PrivateFolder::Trusted);
    EXPECT_EQ(make(kept, PrivateAccess::AdministratorsOnly), PrivateFolder::Trusted);
    expect_private(staging, true);
    expect_private(kept, false);

    // A folder for the kept files that an older version made with the staging folder's
    // rights, holding a copy that any user could read: its rights, and those of what it
    // holds, become the administrators' alone.
    const std::wstring older = temp_ / L"older";
    const SddlDescriptor older_rights(std::wstring(L"O:BA") + platform::win32::kStagingFolderSddl);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, older_rights.get(), FALSE};
    ASSERT_TRUE(CreateDirectoryW(older.c_str(), &attributes));
    ASSERT_TRUE(CreateDirectoryW((older + L"\\20250101-000000").c_str(), nullptr));
    const std::wstring copy = older + L"\\20250101-000000\\Pelto.ini";
    const std::wstring marked = older + L"\\20250101-000000\\Print.ini";
    write_bytes(copy, "server_pwd=secret");
    write_bytes(marked, "read-only when kept");
    ASSERT_TRUE(SetFileAttributesW(marked.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(make(older, PrivateAccess::AdministratorsOnly), PrivateFolder::Trusted);
    for (const std::wstring& entry : {older, older + L"\\20250101-000000", copy, marked}) {
        expect_private(entry, false);
    }
    EXPECT_EQ(read_bytes(copy), std::optional<std::string>("server_pwd=secret"));
    // A kept copy's read-only mark is its own: restricting who may read it keeps it.
    EXPECT_EQ(GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY, 0U);
    EXPECT_NE(GetFileAttributesW(marked.c_str()) & FILE_ATTRIBUTE_READONLY, 0U);
    EXPECT_EQ(log_.lines(), std::vector<std::string>{});
    expect_no_takeover_privileges();
}

// A folder someone else made is never used, and never changed: what it holds may have
// been planted, and taking it over would keep it (and any handle opened on it before).
TEST_F(PrivateFolderTest, AFolderSomeoneElseMadeIsUntrustedAndLeftAsItWas) {
    const std::wstring planted = temp_ / L"펠토사용자설치";
    ASSERT_TRUE(CreateDirectoryW(planted.c_str(), nullptr));
    const SddlDescriptor everyone(L"D:(A;OICI;FA;;;WD)");
    {
        const platform::win32::FileHandle handle(
            CreateFileW(planted.c_str(), WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_TRUE(
            SetKernelObjectSecurity(handle.get(), DACL_SECURITY_INFORMATION, everyone.get()));
    }
    write_bytes(planted + L"\\version.dll", "planted");
    const std::optional<ReadRights> before = read_rights(planted);
    ASSERT_TRUE(before.has_value());
    ASSERT_NE(before->of(kEveryone).value_or(0) & FILE_WRITE_DATA, 0U);

    EXPECT_EQ(make(planted, PrivateAccess::AdministratorsChange), PrivateFolder::Untrusted);
    EXPECT_EQ(make(planted, PrivateAccess::AdministratorsOnly), PrivateFolder::Untrusted);
    const std::optional<ReadRights> after = read_rights(planted);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(after->owner, before->owner);
    EXPECT_EQ(after->allowed, before->allowed);
    EXPECT_EQ(read_bytes(planted + L"\\version.dll"), std::optional<std::string>("planted"));

    // Made with the rights its parent passes on, by the user running this test: its owner
    // is no administrators' group (Wine cannot show it: it reads every owner as the
    // program's own user).
    if (!under_wine()) {
        const std::wstring inherited = temp_ / L"inherited";
        ASSERT_TRUE(CreateDirectoryW(inherited.c_str(), nullptr));
        EXPECT_EQ(make(inherited, PrivateAccess::AdministratorsChange), PrivateFolder::Untrusted);
    }
    expect_no_takeover_privileges();
}

} // namespace
} // namespace pelto::win32_test
