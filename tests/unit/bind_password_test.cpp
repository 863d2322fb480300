// The password of -binddn: its first line, read without leaving copies, and the refusals
// that end the run before anything is sent.
#include "cli/bind_password.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "fake_ldap.h"

namespace kestrel {
namespace {

// A file holding `bytes`, removed when the test ends.
class TempFile {
  public:
    explicit TempFile(const std::string& bytes) {
        char name[] = "/tmp/kestrel-pw-XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        if (fd >= 0) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            close(fd);
        }
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(ReadPasswordLine, TakesTheFirstLineOnly) {
    struct Row {
        std::string name;
        std::string bytes;
        PasswordLine outcome;
        std::string password;
    };
    const std::vector<Row> rows = {
        {"a line", "Pw-1\n", PasswordLine::Read, "Pw-1"},
        {"a line edited on Windows", "Pw-1\r\n", PasswordLine::Read, "Pw-1"},
        {"no line end", "Pw-1", PasswordLine::Read, "Pw-1"},
        {"the rest is not read", "Pw-1\nsecond line\n", PasswordLine::Read, "Pw-1"},
        {"blanks are part of it", " Pw 1 \n", PasswordLine::Read, " Pw 1 "},
        {"empty file", "", PasswordLine::Read, ""},
        {"empty first line", "\nPw-1\n", PasswordLine::Read, ""},
        {"a NUL byte", std::string("Pw\0x\n", 5), PasswordLine::HoldsNul, ""},
        {"the longest taken", std::string(kMaxBindPasswordBytes, 'p') + "\n", PasswordLine::Read,
         std::string(kMaxBindPasswordBytes, 'p')},
        {"one byte longer", std::string(kMaxBindPasswordBytes + 1, 'p'), PasswordLine::TooLong, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TempFile file(row.bytes);
        const int fd = open(file.path().c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        std::string password;
        EXPECT_EQ(readPasswordLine(fd, password), row.outcome);
        close(fd);
        if (row.outcome == PasswordLine::Read) {
            EXPECT_EQ(password, row.password);
        }
    }
}

TEST(ReadBindPassword, FromAFileOrAClearRefusal) {
    const char* saved = std::setlocale(LC_CTYPE, nullptr);
    const std::string savedLocale = saved != nullptr ? saved : "C";
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    struct Row {
        std::string name;
        std::optional<std::string> content;  // none: no such file
        bool ok;
        std::string line;  // after "ERROR: The password in the file F" or the like
    };
    const std::vector<Row> rows = {
        {"a password", "Pw-\xc3\xa9-1\n", true, ""},
        {"no such file", std::nullopt, false,
         "ERROR: Cannot read the password file FILE: No such file or directory. Nothing was "
         "sent.\n"},
        {"empty", "\n", false,
         "ERROR: The password in the file FILE is empty; an empty password would bind "
         "anonymously. Nothing was sent.\n"},
        {"not UTF-8", "Pw-\xe9-1\n", false,
         "ERROR: The password in the file FILE is not valid text in the locale's encoding. "
         "Nothing was sent.\n"},
        {"too long", std::string(kMaxBindPasswordBytes + 1, 'p'), false,
         "ERROR: The password in the file FILE is longer than 4096 bytes. Nothing was sent.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TempFile file(row.content.value_or(""));
        RunSettings settings;
        settings.bindDnGiven = true;
        settings.bindDn = "CN=svc,DC=x";
        settings.passwordFileGiven = true;
        settings.passwordFile = row.content ? file.path() : file.path() + ".missing";
        fake::CapturedConsole console;
        std::string password;
        EXPECT_EQ(readBindPassword(console.reporter, settings, password), row.ok);
        std::string expected = row.line;
        if (const auto at = expected.find("FILE"); at != std::string::npos) {
            expected.replace(at, 4, settings.passwordFile);
        }
        EXPECT_EQ(console.out(), expected);
        EXPECT_EQ(console.err(), "");
        EXPECT_EQ(password, row.ok ? "Pw-\xc3\xa9-1" : "");
    }
    std::setlocale(LC_CTYPE, savedLocale.c_str());
}

}  // namespace
}  // namespace kestrel
