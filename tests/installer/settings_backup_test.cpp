// The copies of the settings files kept before the run deletes them: what is kept is
// what goes, byte for byte; the dated folders are named, suffixed and pruned by time;
// a backup that cannot be made completely stops with error 75.
#include "core/error.h"
#include "installer/mdl_functions.h"
#include "installer/settings_backup.h"
#include "platform/codepage.h"
#include "tests/support/temp_machine.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pelto {
namespace {

namespace fs = std::filesystem;
namespace attr = platform::attr;
using testing::TempMachine;

constexpr TextView kBin = u"C:\\Pelto_H\\bin\\";

class BackupTest : public ::testing::Test {
protected:
    TempMachine t;
    platform::Platform& p() { return t.platform(); }

    Text keep(TextView stamp) { return installer::keep_settings_files(p(), stamp); }
    // The names of the dated folders below 보관, in name order.
    std::vector<std::string> kept_folders() const {
        std::vector<std::string> names;
        const fs::path folder = t.root() / "drive_c/펠토사용자설치/보관";
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    void make_dated(const std::string& name) {
        t.make_folder(u"C:\\펠토사용자설치\\보관\\" + from_utf8(name));
    }
};

TEST_F(BackupTest, WhatTheDeletionRemovesIsKeptByteForByteAndNothingElse) {
    // Bytes a text copy would change (NUL, CR LF, code page 949), over several buffers.
    std::string pelto = "[Database Server]\r\nserver_pwd=" + to_cp949(u"비밀") + "\r\n";
    pelto.push_back('\0');
    while (pelto.size() < size_t{200} * 1024) {
        pelto += static_cast<char>(pelto.size() * 7 % 251);
    }
    t.write_file(Text(kBin) + u"Pelto.ini", pelto);
    t.write_file(Text(kBin) + u"Print.ini", "[Print]\r\nPrinter=1\r\n");
    t.write_file(Text(kBin) + u"empty.ini", "");
    for (const TextView other : {u"UPPER.INI", u"notes.txt", u"hidden.ini", u"ro.ini"}) {
        t.write_file(Text(kBin) + Text(other), "stays");
    }
    t.make_folder(Text(kBin) + u"dir.ini");
    ASSERT_TRUE(platform::paths(p()).set_attributes(Text(kBin) + u"hidden.ini", attr::kHidden));
    ASSERT_TRUE(platform::paths(p()).set_attributes(Text(kBin) + u"ro.ini", attr::kReadOnly));
    // A link goes as a link; what it points to stays, so there is nothing to keep.
    fs::create_symlink("notes.txt", t.host(kBin) / "link.ini");

    const Text folder = keep(u"20261208-153000");
    EXPECT_EQ(folder, u"C:\\펠토사용자설치\\보관\\20261208-153000");
    EXPECT_TRUE(t.log().contains("C:\\펠토사용자설치\\보관\\20261208-153000"));

    // The run's deletion next: every file it removes is in the folder with its bytes.
    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(t.host(kBin))) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            before[entry.path().filename().string()] = testing::read_host_file(entry.path());
        }
    }
    mdl함수::sG_DeleteBinIniFiles(p());
    std::map<std::string, std::string> removed;
    for (const auto& [name, bytes] : before) {
        if (!fs::exists(t.host(kBin) / name)) {
            removed[name] = bytes;
        }
    }
    std::map<std::string, std::string> copies;
    for (const auto& entry : fs::directory_iterator(t.host(folder))) {
        copies[entry.path().filename().string()] = testing::read_host_file(entry.path());
    }
    EXPECT_EQ(copies, removed);
    EXPECT_EQ(removed.size(), 3U); // Pelto.ini, Print.ini, empty.ini
    EXPECT_FALSE(fs::is_symlink(t.host(kBin) / "link.ini"));
    EXPECT_EQ(t.read_file(Text(kBin) + u"notes.txt"), "stays");
}

TEST_F(BackupTest, NothingToKeepMakesNoFolder) {
    t.write_file(Text(kBin) + u"UPPER.INI", "x");
    EXPECT_EQ(keep(u"20261208-153000"), u"");
    EXPECT_FALSE(t.exists(u"C:\\펠토사용자설치"));
}

TEST_F(BackupTest, TheFiveNewestAndTheOldestStayWhateverTheirSuffixOrTheClock) {
    t.write_file(Text(kBin) + u"Pelto.ini", "x");
    for (const char* old : {"20200101-000000", "20210101-000000", "20220101-000000",
                            "20230101-000000", "20240101-000000", "mine", "2024-backup"}) {
        make_dated(old);
    }
    // Ten runs within one second: suffixes -2 to -10, ordered as numbers.
    for (int i = 0; i < 10; ++i) {
        keep(u"20261208-153000");
    }
    // The oldest stays too: it holds the settings from before the first run.
    EXPECT_EQ(kept_folders(),
              (std::vector<std::string>{"20200101-000000", "2024-backup", "20261208-153000-10",
                                        "20261208-153000-6", "20261208-153000-7",
                                        "20261208-153000-8", "20261208-153000-9", "mine"}));

    // A clock set back: the new folder looks oldest and still stays.
    EXPECT_EQ(keep(u"20190101-000000"), u"C:\\펠토사용자설치\\보관\\20190101-000000");
    EXPECT_EQ(kept_folders(),
              (std::vector<std::string>{"20190101-000000", "20200101-000000", "2024-backup",
                                        "20261208-153000-10", "20261208-153000-7",
                                        "20261208-153000-8", "20261208-153000-9", "mine"}));
}

// New files whose writes fail after the first chunk: a full disk.
class FullDisk final : public testing::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;

protected:
    std::unique_ptr<platform::Folder> wrap(std::unique_ptr<platform::Folder> folder) override {
        return folder ? std::make_unique<FullFolder>(std::move(folder)) : nullptr;
    }

private:
    class Full final : public platform::File {
    public:
        explicit Full(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}
        std::optional<uint64_t> size() override { return file_->size(); }
        std::optional<size_t> read(std::span<uint8_t> b) override { return file_->read(b); }
        bool write(std::span<const uint8_t> data) override {
            return written_++ == 0 && file_->write(data);
        }

    private:
        std::unique_ptr<platform::File> file_;
        int written_ = 0;
    };
    class FullFolder final : public testing::ForwardingFolder {
    public:
        using ForwardingFolder::ForwardingFolder;
        std::unique_ptr<platform::File> create_private_file(TextView name) override {
            std::unique_ptr<platform::File> file = folder_->create_private_file(name);
            return file ? std::make_unique<Full>(std::move(file)) : nullptr;
        }

    protected:
        std::unique_ptr<platform::Folder> wrap(std::unique_ptr<platform::Folder> folder) override {
            return folder ? std::make_unique<FullFolder>(std::move(folder)) : nullptr;
        }
    };
};

TEST_F(BackupTest, ABackupThatCannotBeMadeCompletelyIsError75AndLeavesNoHalfFolder) {
    t.write_file(Text(kBin) + u"Pelto.ini", std::string(size_t{100} * 1024, 'x'));
    make_dated("20200101-000000");
    FullDisk disk(p().files);
    platform::Platform full = platform::with_services(p(), {.files = &disk});
    try {
        installer::keep_settings_files(full, u"20261208-153000");
        FAIL() << "error 75 expected";
    } catch (const VbError& e) {
        EXPECT_EQ(e.number(), vberr::kPathFileAccess);
    }
    EXPECT_EQ(kept_folders(), std::vector<std::string>{"20200101-000000"});
    EXPECT_TRUE(t.exists(Text(kBin) + u"Pelto.ini"));
}

// The copies hold a server's password: another user of the workstation may neither have
// prepared the folders they go into nor read them. A staging folder someone else made, or
// a file in its place, is moved aside whole; one that cannot be moved aside stops the
// backup with error 75 before anything is deleted.
TEST_F(BackupTest, TheCopiesGoOnlyWhereAdministratorsAloneMayReadThem) {
    t.write_file(Text(kBin) + u"Pelto.ini", "server_pwd=secret");
    t.make_folder(u"C:\\펠토사용자설치\\보관");
    fs::permissions(t.host(u"C:\\펠토사용자설치"), fs::perms::all);
    t.write_file(u"C:\\펠토사용자설치\\보관\\planted.ini", "planted");

    const Text folder = keep(u"20261208-153000");
    const auto mode = [&](TextView path) {
        struct stat st {};
        return ::lstat(t.host(path).c_str(), &st) == 0 ? st.st_mode & 0777 : 0777U;
    };
    EXPECT_EQ(mode(u"C:\\펠토사용자설치\\보관"), 0700U);
    EXPECT_EQ(mode(folder), 0700U);
    EXPECT_EQ(mode(folder + u"\\Pelto.ini"), 0600U);
    EXPECT_EQ(t.read_file(folder + u"\\Pelto.ini"), "server_pwd=secret");
    EXPECT_EQ(t.read_file(u"C:\\펠토사용자설치.20261208-153000\\보관\\planted.ini"), "planted");
    EXPECT_FALSE(t.exists(u"C:\\펠토사용자설치\\보관\\planted.ini"));
    EXPECT_TRUE(t.log().contains("moved aside"));

    // A file in the staging folder's place goes aside too.
    fs::remove_all(t.host(u"C:\\펠토사용자설치"));
    t.write_file(u"C:\\펠토사용자설치", "a file");
    EXPECT_NE(keep(u"20261208-153001"), u"");
    EXPECT_EQ(t.read_file(u"C:\\펠토사용자설치.20261208-153001"), "a file");

    // What cannot be moved aside stops the backup.
    fs::remove_all(t.host(u"C:\\펠토사용자설치"));
    t.make_folder(u"C:\\펠토사용자설치");
    fs::permissions(t.host(u"C:\\펠토사용자설치"), fs::perms::all);
    if (!testing::set_immutable(t.host(u"C:\\펠토사용자설치"), true)) {
        GTEST_SKIP() << "no way to keep a folder from being moved here";
    }
    EXPECT_THROW(keep(u"20261208-153002"), VbError);
    testing::set_immutable(t.host(u"C:\\펠토사용자설치"), false);
    EXPECT_FALSE(t.exists(u"C:\\펠토사용자설치.20261208-153002"));
    EXPECT_TRUE(t.exists(Text(kBin) + u"Pelto.ini"));
}

// Pelto.ini is replaced by the template's copy even when the deletion cannot remove it
// (read-only), so it is kept either way.
TEST_F(BackupTest, AReadOnlySettingsFileIsKeptToo) {
    t.write_file(Text(kBin) + u"Pelto.ini", "server_name=old");
    ASSERT_TRUE(platform::paths(p()).set_attributes(Text(kBin) + u"Pelto.ini", attr::kReadOnly));
    const Text folder = keep(u"20261208-153000");
    ASSERT_NE(folder, u"");
    EXPECT_EQ(t.read_file(folder + u"\\Pelto.ini"), "server_name=old");
}

TEST(BackupStamp, LocalTimeAsYearMonthDayDashHourMinuteSecond) {
    EXPECT_EQ(installer::folder_stamp(platform::LocalTime{2026, 12, 8, 15, 30, 5, 999}),
              u"20261208-153005");
}

} // namespace
} // namespace pelto
