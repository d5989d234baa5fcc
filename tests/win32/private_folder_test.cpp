// The staging folder's access rights, read back from the file system: only SYSTEM,
// Administrators and the owner may change it or what it holds, whoever made it first.
//
// Under Wine the rights are kept as Unix permission bits, so what reads back is coarser
// than on Windows: the owner is always the Unix user, "Everyone" stands for the others'
// bits, and whether the rights are inherited from the parent is not kept.
#include "platform/win32/filesystem_win32.h"
#include "tests/win32/win32_test_support.h"

#include <gtest/gtest.h>
#include <optional>
#include <sddl.h>
#include <vector>

namespace pelto::win32_test {
namespace {

constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                      FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                      WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

std::wstring sid_text(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return L"?";
    }
    std::wstring out = text;
    LocalFree(text);
    return out;
}

struct Ace {
    std::wstring sid;
    ACCESS_MASK mask;
};

struct ReadRights {
    std::wstring owner;
    std::vector<Ace> allowed;
    bool protected_from_parent = false;
};

std::optional<ReadRights> read_rights(const std::wstring& path) {
    constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), kWhat, nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed);
    if (needed == 0 || !GetFileSecurityW(path.c_str(), kWhat, buffer.data(), needed, &needed)) {
        return std::nullopt;
    }
    const PSECURITY_DESCRIPTOR descriptor = buffer.data();
    ReadRights rights;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr) {
        rights.owner = sid_text(owner);
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    rights.protected_from_parent = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
        dacl == nullptr) {
        return std::nullopt; // no DACL at all: everyone may do everything
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (GetAce(dacl, i, &ace) &&
            static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            rights.allowed.push_back(Ace{sid_text(&allowed->SidStart), allowed->Mask});
        }
    }
    return rights;
}

bool under_wine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// SYSTEM, Administrators and the owner may change the entry; Users may read it; nobody
// else (Everyone, Authenticated Users, CREATOR OWNER ...) is named at all.
void expect_private(const std::wstring& path) {
    SCOPED_TRACE(to_utf8(text_of(path)));
    const std::optional<ReadRights> rights = read_rights(path);
    ASSERT_TRUE(rights.has_value()) << "no access rights read back";
    bool system_full = false;
    for (const Ace& ace : rights->allowed) {
        const bool trusted =
            ace.sid == L"S-1-5-18" || ace.sid == L"S-1-5-32-544" || ace.sid == rights->owner;
        EXPECT_TRUE(trusted || ace.sid == L"S-1-5-32-545")
            << "access granted to " << std::string(ace.sid.begin(), ace.sid.end());
        if (!trusted) {
            EXPECT_EQ(ace.mask & kChangeRights, 0U)
                << "change rights for " << std::string(ace.sid.begin(), ace.sid.end());
        }
        system_full = system_full ||
                      (ace.sid == L"S-1-5-18" && (ace.mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS);
    }
    EXPECT_TRUE(system_full) << "SYSTEM lost full control";
    if (!under_wine()) {
        EXPECT_TRUE(rights->protected_from_parent) << "rights still inherited from the parent";
        EXPECT_EQ(rights->owner, L"S-1-5-32-544");
    }
}

class PrivateFolderTest : public ::testing::Test {
protected:
    TempFolder temp_;
    MemoryLog log_;
    platform::win32::Win32FileSystem files_{log_};
};

TEST_F(PrivateFolderTest, NewFolderGrantsChangesOnlyToSystemAndAdministrators) {
    const std::wstring folder = temp_ / L"펠토사용자설치";
    ASSERT_TRUE(files_.create_private_directory(text_of(folder)));
    expect_private(folder);
}

TEST_F(PrivateFolderTest, ExistingFolderAndWhatItHoldsAreTakenOver) {
    // Made by someone else first, with the default rights of its parent, holding a
    // planted program and a subfolder.
    const std::wstring folder = temp_ / L"펠토사용자설치";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\sub").c_str(), nullptr));
    write_bytes(folder + L"\\installpelto_H.exe", "planted");
    write_bytes(folder + L"\\sub\\odbc32.dll", "planted");
    const std::optional<ReadRights> before = read_rights(folder);
    ASSERT_TRUE(before.has_value());

    ASSERT_TRUE(files_.create_private_directory(text_of(folder)));
    for (const wchar_t* entry : {L"", L"\\sub", L"\\installpelto_H.exe", L"\\sub\\odbc32.dll"}) {
        expect_private(folder + entry);
    }
    // What the folder holds is left as it was: the shell still asks before replacing it.
    EXPECT_EQ(read_bytes(folder + L"\\installpelto_H.exe"), std::optional<std::string>("planted"));
}

TEST_F(PrivateFolderTest, FileOrSecondNameInTheWayIsRefused) {
    const std::wstring file = temp_ / L"펠토사용자설치";
    write_bytes(file, "not a folder");
    EXPECT_FALSE(files_.create_private_directory(text_of(file)));

    // A hard link inside would have its other name's rights changed along with it.
    const std::wstring folder = temp_ / L"staging";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    write_bytes(temp_ / L"elsewhere.txt", "someone else's file");
    if (!CreateHardLinkW((folder + L"\\installpelto_H.exe").c_str(),
                         (temp_ / L"elsewhere.txt").c_str(), nullptr)) {
        GTEST_SKIP() << "no hard links here";
    }
    EXPECT_FALSE(files_.create_private_directory(text_of(folder)));
}

} // namespace
} // namespace pelto::win32_test
