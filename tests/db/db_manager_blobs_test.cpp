// Files into binary columns and back, byte for byte, on every backend (BLOB on SQLite,
// bytea on PostgreSQL), and the rules for a file that already exists.
#include "tests/db/backend_fixture.h"

#include <cstdlib>
#include <functional>

namespace pelto::dbtest {
namespace {

namespace fs = std::filesystem;

class BlobsTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        central->admin().run(
            u"CREATE TABLE 사진 (번호 INTEGER PRIMARY KEY, 이름 VARCHAR(20), 내용 " +
            central->blob_type() + u")");
        central->admin().run(u"INSERT INTO 사진 VALUES (1, '첫째', NULL), (2, '둘째', NULL)");
        std::filesystem::create_directory(machine.host(u"C:\\work"));
    }

    std::shared_ptr<ado::Recordset> open_row(int number, int lock = ado::adLockOptimistic) {
        return db.GetRecordSet(u"SELECT 번호, 이름, 내용 FROM 사진 WHERE 번호 = " +
                                   from_utf8(std::to_string(number)),
                               0, lock, 3);
    }

    // Stores a file of `size` bytes in row 1 and loads it back through a fresh record set.
    void round_trip(size_t size) {
        SCOPED_TRACE(size);
        const ByteArray bytes = pattern_bytes(size, static_cast<uint32_t>(size));
        write_file(machine.host(u"C:\\work\\in.bin"), bytes);
        const auto row = open_row(1);
        ASSERT_TRUE(row);
        ASSERT_EQ(row->State(), ado::adStateOpen);
        EXPECT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\in.bin"),
                  static_cast<int32_t>(size));
        row->Update();

        const auto fresh = open_row(1, ado::adLockReadOnly);
        ASSERT_TRUE(fresh);
        const Text out = u"C:\\work\\out" + from_utf8(std::to_string(size)) + u".bin";
        EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), out), 1);
        EXPECT_EQ(read_file(machine.host(out)), bytes);
        EXPECT_EQ(fresh->Fields(u"이름").Value(), Variant(u"첫째"));
    }
};
PELTO_ON_EVERY_BACKEND(BlobsTest);

TEST_P(BlobsTest, FilesAreStoredInWholeChunksAndRestoredByteForByte) {
    // Whole chunks and a rest, whole chunks only, and less than one chunk.
    round_trip(70000);
    round_trip(65536);
    round_trip(100);
    // The other row is untouched.
    const auto other = open_row(2, ado::adLockReadOnly);
    EXPECT_TRUE(other->Fields(u"내용").Value().is_null());
}

TEST_P(BlobsTest, EverySaveReplacesWhatTheFieldHeld) {
    const ByteArray large = pattern_bytes(40000, 11);
    const ByteArray small = pattern_bytes(100, 12);
    write_file(machine.host(u"C:\\work\\large.bin"), large);
    write_file(machine.host(u"C:\\work\\small.bin"), small);
    const auto row = open_row(1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\large.bin"), 40000);
    // Nor does a failed save in between join anything.
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\missing.bin"), -1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\small.bin"), 100);
    EXPECT_EQ(row->Fields(u"내용").ActualSize(), 100);
    row->Update();
    const auto fresh = open_row(1, ado::adLockReadOnly);
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\out.bin"), 1);
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\out.bin")), small);
}

TEST_P(BlobsTest, AnEmptyFileAppendsNothingAndAMissingOneFails) {
    write_file(machine.host(u"C:\\work\\empty.bin"), {});
    const auto row = open_row(2);
    EXPECT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\empty.bin"), 0);
    row->Update();
    EXPECT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\missing.bin"), -1);
    const auto fresh = open_row(2, ado::adLockReadOnly);
    EXPECT_TRUE(fresh->Fields(u"내용").Value().is_null());
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\never.bin"), 0);
    EXPECT_FALSE(platform::paths(machine.platform()).get_attributes(u"C:\\work\\never.bin"));
    EXPECT_EQ(db.ErrorDesc, u"");
    EXPECT_TRUE(machine.ui().messages.empty());
}

TEST_P(BlobsTest, AValueStoredInChunksCanBeReadBeforeItIsWritten) {
    const ByteArray bytes = pattern_bytes(3 * 1024 * 1024 + 5, 9); // spills to a temporary file
    write_file(machine.host(u"C:\\work\\big.bin"), bytes);
    const auto row = open_row(1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\big.bin"),
              static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(row->Fields(u"내용").ActualSize(), static_cast<int32_t>(bytes.size()));
    row->Update();
    // The record set's own copy, and the database's.
    EXPECT_EQ(db.ImageDBLoad(row->Fields(u"내용"), u"C:\\work\\cached.bin"), 1);
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\cached.bin")), bytes);
    EXPECT_EQ(
        db.ImageDBLoad(open_row(1, ado::adLockReadOnly)->Fields(u"내용"), u"C:\\work\\db.bin"), 1);
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\db.bin")), bytes);
}

TEST_P(BlobsTest, AnUploadThatFailsPartWayLeavesTheConnectionItsTransactions) {
    const ByteArray bytes =
        pattern_bytes(size_t{2} * 1024 * 1024, 21); // spooled to a temporary file
    write_file(machine.host(u"C:\\work\\big.bin"), bytes);
    const auto row = open_row(1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\big.bin"),
              static_cast<int32_t>(bytes.size()));
    // The spooled content loses its tail before the update sends it.
    for (const auto& entry : fs::directory_iterator(std::getenv("TMPDIR"))) {
        if (entry.path().filename().string().starts_with("pelto-chunks-")) {
            fs::resize_file(entry.path(), 1000);
        }
    }
    EXPECT_EQ(error_of([&] { row->Update(); }).number, vberr::kPathFileAccess);
    row->CancelUpdate();

    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 사진 VALUES (3, '셋째', NULL)"), 1);
    db.fnRollBackTrans();
    db.fnBeginTrans();
    ASSERT_EQ(db.RunSQL(u"INSERT INTO 사진 VALUES (4, '넷째', NULL)"), 1);
    db.fnCommitTrans();
    EXPECT_EQ(column(u"SELECT 번호 FROM 사진 ORDER BY 번호"),
              (std::vector<Text>{u"1", u"2", u"4"}));
    EXPECT_EQ(column(u"SELECT 내용 FROM 사진 WHERE 번호 = 1"), (std::vector<Text>{u"<NULL>"}));
}

TEST_P(BlobsTest, ClosingWithAnEditInProgressIsRefusedUntilItIsUpdatedOrCancelled) {
    const auto row = open_row(1);
    row->Fields(u"이름").Value(Text(u"새 이름"));
    EXPECT_EQ(error_of([&] { row->Close(); }).number, adoerr::kNotAllowedHere);
    ASSERT_EQ(row->State(), ado::adStateOpen);
    row->Update();
    row->Close();
    EXPECT_EQ(column(u"SELECT 이름 FROM 사진 WHERE 번호 = 1"), (std::vector<Text>{u"새 이름"}));

    // A value streamed in chunks is an edit too.
    write_file(machine.host(u"C:\\work\\in.bin"), pattern_bytes(70000, 2));
    const auto other = open_row(2);
    ASSERT_EQ(db.ImageDBSave(other->Fields(u"내용"), u"C:\\work\\in.bin"), 70000);
    EXPECT_EQ(error_of([&] { other->Close(); }).number, adoerr::kNotAllowedHere);
    other->CancelUpdate();
    other->Close();
    EXPECT_EQ(column(u"SELECT 내용 FROM 사진 WHERE 번호 = 2"), (std::vector<Text>{u"<NULL>"}));
}

TEST_P(BlobsTest, AnExistingFileIsKeptUnlessAnUpdateIsAsked) {
    const ByteArray stored = pattern_bytes(5000, 3);
    write_file(machine.host(u"C:\\work\\in.bin"), stored);
    const auto row = open_row(1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\in.bin"), 5000);
    row->Update();

    const ByteArray previous = pattern_bytes(9000, 4);
    write_file(machine.host(u"C:\\work\\there.bin"), previous);
    const auto fresh = open_row(1, ado::adLockReadOnly);
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\there.bin"), 1);
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\there.bin")), previous);
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\there.bin", true), 1);
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\there.bin")), stored);

    // A null field with an update asked: the old file is gone and nothing replaces it.
    const auto empty = open_row(2, ado::adLockReadOnly);
    EXPECT_EQ(db.ImageDBLoad(empty->Fields(u"내용"), u"C:\\work\\there.bin", true), 0);
    EXPECT_FALSE(platform::paths(machine.platform()).get_attributes(u"C:\\work\\there.bin"));
}

TEST_P(BlobsTest, AWildcardNameNeverDeletesTheFilesItMatches) {
    write_file(machine.host(u"C:\\work\\in.bin"), pattern_bytes(100, 8));
    const auto row = open_row(1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\in.bin"), 100);
    row->Update();
    const ByteArray other = pattern_bytes(300, 9);
    write_file(machine.host(u"C:\\work\\other.bin"), other);
    const auto fresh = open_row(1, ado::adLockReadOnly);
    // The machine's folder listing matches DOS wildcards as Dir and Kill do.
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\*.bin"), 1);
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\*.bin", true), -1);
    EXPECT_TRUE(contains(from_utf8(machine.log().lines().back()), u"Bad file name or number"))
        << machine.log().lines().back();
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\other.bin")), other);
    EXPECT_TRUE(platform::paths(machine.platform()).get_attributes(u"C:\\work\\in.bin"));
}

TEST_P(BlobsTest, AHiddenFileOfThatNameIsNeitherSeenNorOverwritten) {
    write_file(machine.host(u"C:\\work\\in.bin"), pattern_bytes(100, 5));
    const auto row = open_row(1);
    ASSERT_EQ(db.ImageDBSave(row->Fields(u"내용"), u"C:\\work\\in.bin"), 100);
    row->Update();
    const ByteArray hidden = pattern_bytes(300, 6);
    write_file(machine.host(u"C:\\work\\hidden.bin"), hidden);
    platform::paths(machine.platform())
        .set_attributes(u"C:\\work\\hidden.bin", platform::attr::kHidden);
    const auto fresh = open_row(1, ado::adLockReadOnly);
    // Writing the 100 bytes into it would have left 200 old bytes behind them.
    EXPECT_EQ(db.ImageDBLoad(fresh->Fields(u"내용"), u"C:\\work\\hidden.bin", true), -1);
    EXPECT_EQ(read_file(machine.host(u"C:\\work\\hidden.bin")), hidden);
}

TEST_P(BlobsTest, OnlyUpdatableRecordSetsTakeChunks) {
    write_file(machine.host(u"C:\\work\\in.bin"), pattern_bytes(10, 7));
    const auto read_only = open_row(1, ado::adLockReadOnly);
    EXPECT_EQ(db.ImageDBSave(read_only->Fields(u"내용"), u"C:\\work\\in.bin"), -1);
    EXPECT_THROW(read_only->Update(), VbError);
    // A column without a table behind it takes no edit.
    const auto computed =
        db.GetRecordSet(u"SELECT 번호, 내용, 번호 + 1 AS 다음 FROM 사진 WHERE 번호 = 1", 0,
                        ado::adLockOptimistic, 3);
    EXPECT_THROW(computed->Fields(u"다음").Value(int32_t{5}), VbError);
    // An ordinary edit by the table's key.
    const auto row = open_row(2);
    row->Fields(u"이름").Value(Text(u"바뀐 이름"));
    row->Update();
    EXPECT_EQ(column(u"SELECT 이름 FROM 사진 WHERE 번호 = 2"), (std::vector<Text>{u"바뀐 이름"}));
}

} // namespace
} // namespace pelto::dbtest
