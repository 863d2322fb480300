// A record file read a part at a time: checked whole first, then applied part by part, the
// revert last record first across parts.
#include "cli/record_parts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "fake_ldap.h"
#include "ops/apply_records.h"

namespace kestrel {
namespace {

class RecordPartsTest : public ::testing::Test {
  protected:
    RecordPartsTest() {
        char pattern[] = "/tmp/kestrel-parts-test.XXXXXX";
        const int fd = mkstemp(pattern);
        close(fd);
        path_ = pattern;
    }
    ~RecordPartsTest() override { std::remove(path_.c_str()); }

    // `count` deletes of cn=N,dc=x, each after a comment, more than one part's worth.
    void write(std::size_t count, const std::string& tail = "") {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        for (std::size_t i = 0; i < count; ++i) {
            out << "# " << std::string(200, 'x') << "\ndn: cn=" << i
                << ",dc=x\nchangetype: delete\n\n";
        }
        out << tail;
    }

    std::unique_ptr<RecordFileParts> scan(std::size_t& records) {
        records = 0;
        return RecordFileParts::scan(
            path_, false, [&records](const LdifRecord&) { ++records; }, why_, problem_);
    }

    std::string path_;
    std::string why_;
    std::optional<LdifProblem> problem_;
};

TEST_F(RecordPartsTest, ARevertSendsTheLastRecordFirstAcrossParts) {
    const std::size_t count = 2 * kRecordPartBytes / 200;
    write(count);
    std::size_t records = 0;
    const auto file = scan(records);
    ASSERT_TRUE(file) << why_;
    EXPECT_EQ(records, count);
    EXPECT_GE(file->parts(), 2u);
    fake::FakeLdapLibrary library;
    fake::CapturedConsole captured;
    RunSettings settings;
    settings.mode = RunMode::Revert;
    settings.window = 8;
    LdapSession session = library.session();
    ResultLines results;
    RunContext run{captured.reporter, settings, session, "dc1", results};
    runRevert(run, *file);
    const std::vector<fake::Call> deletes = library.callsOf(fake::Call::Kind::Delete);
    ASSERT_EQ(deletes.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(deletes[i].dn, "cn=" + std::to_string(count - 1 - i) + ",dc=x");
    }
}

TEST_F(RecordPartsTest, AProblemIsNamedByItsLineInTheFileAndAChangedFileStops) {
    write(2000, "dn: cn=bad,dc=x\nchangetype: nonsense\n");
    std::size_t records = 0;
    EXPECT_FALSE(scan(records));
    ASSERT_TRUE(problem_);
    EXPECT_EQ(problem_->line, 2000u * 4 + 1);

    write(2000);
    problem_.reset();
    const auto file = scan(records);
    ASSERT_TRUE(file);
    std::ofstream(path_, std::ios::binary | std::ios::in | std::ios::out) << "# changed";
    std::vector<LdifRecord> part;
    EXPECT_FALSE(file->read(0, part, why_));
    EXPECT_NE(why_.find("changed while its records were applied"), std::string::npos) << why_;
}

}  // namespace
}  // namespace kestrel
