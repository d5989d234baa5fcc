// The single-run claim against a name someone else made first. Any user may make a global
// name before the administrator's run: an object an administrator made (its owner) is
// another run, a section of this version's or a mutex of an older one's, and stops this
// one; one a standard user made may not stop the run (only an administrator's token can
// give an object the owner Administrators).
#include "tests/win32/win32_test_support.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>
#include <string>

namespace pelto::win32_test {
namespace {

std::wstring user_sid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char buffer[256];
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
    CloseHandle(token);
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

enum class Kind { Mutex, Section };

// Makes the object `name` as someone else would, with the rights `sddl`: a mutex (what
// older versions' runs made, or anyone's) or a section; held by the returned handle.
HANDLE made_first(Kind kind, const std::wstring& name, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR rights = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &rights, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, rights, FALSE};
    const HANDLE object = kind == Kind::Mutex
                              ? CreateMutexW(&attributes, FALSE, name.c_str())
                              : CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes,
                                                   PAGE_READWRITE, 0, 64, name.c_str());
    LocalFree(rights);
    EXPECT_NE(object, nullptr);
    return object;
}

TEST(SingleRunClaim, OnlyAnAdministratorsObjectOfItsNameStopsTheRun) {
    TempFolder folder;
    const std::wstring log_file = folder / L"run.log";
    platform::win32::Win32RunLog log(log_file);
    const std::wstring user = user_sid();
    const std::wstring by_a_user = L"O:" + user + L"D:(A;;GA;;;WD)";
    struct Case {
        Kind kind;
        std::wstring sddl;
        bool runs;
    };
    for (const Case& c :
         {Case{Kind::Mutex, by_a_user, true},
          // Rights that shut administrators out: no run makes such an object.
          Case{Kind::Mutex, L"O:" + user + L"D:P", true},
          // An older version's run.
          Case{Kind::Mutex, L"O:BAD:(A;;GA;;;WD)", false}, Case{Kind::Section, by_a_user, true},
          Case{Kind::Section, L"O:" + user + L"D:P", true},
          Case{Kind::Section, L"O:BAD:(A;;GA;;;WD)", false}}) {
        SCOPED_TRACE(std::string(c.sddl.begin(), c.sddl.end()));
        SCOPED_TRACE(c.kind == Kind::Mutex ? "mutex" : "section");
        const std::wstring name = test_mutex_name();
        const HANDLE first = made_first(c.kind, name, c.sddl);
        platform::win32::HeldRunClaim claim;
        platform::win32::Win32Session session(log, claim, name);
        const platform::SingleRunClaim answer = session.claim_single_run();
        EXPECT_EQ(answer.claimed, c.runs);
        // Neither says which process made it.
        EXPECT_EQ(answer.holder.process_id, std::nullopt);
        CloseHandle(first);
    }
    const std::string text = read_bytes(log_file).value_or("");
    EXPECT_NE(text.find("was made by a user without administrator rights (owner " +
                        std::string(user.begin(), user.end()) + ")"),
              std::string::npos)
        << text;

    // The run's own claim: a section nobody but SYSTEM and Administrators may even open,
    // naming the process that made it.
    const std::wstring name = test_mutex_name();
    platform::win32::HeldRunClaim held;
    platform::win32::Win32Session run(log, held, name);
    ASSERT_TRUE(run.claim_single_run().claimed);
    platform::win32::HeldRunClaim other_held;
    platform::win32::Win32Session other(log, other_held, name);
    const platform::SingleRunClaim refused = other.claim_single_run();
    EXPECT_FALSE(refused.claimed);
    EXPECT_EQ(refused.holder.process_id, std::optional<uint32_t>(GetCurrentProcessId()));
    EXPECT_TRUE(refused.holder.running);
    const HANDLE opened = OpenFileMappingW(FILE_MAP_READ | READ_CONTROL, FALSE, name.c_str());
    ASSERT_NE(opened, nullptr);
    PSECURITY_DESCRIPTOR rights = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    ASSERT_EQ(GetSecurityInfo(opened, SE_KERNEL_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, &rights),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    ASSERT_NE(dacl, nullptr);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        const PSID sid = &ace->SidStart;
        EXPECT_TRUE(IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                    IsWellKnownSid(sid, WinLocalSystemSid));
    }
    LocalFree(rights);
    CloseHandle(opened);
}

} // namespace
} // namespace pelto::win32_test
