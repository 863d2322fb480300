// -undo FILE: before each write, the LDIF record that reverses it is appended to a journal
// and synced to disk, so that a run stopped at any moment leaves a journal covering every
// write that may have reached the directory. The journal is applied in reverse order of
// its records (the README shows how); each target's own records are written so that the
// reversal puts them in the order they must run (a tree's parents before its children).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "password/password_setter.h"
#include "session/ldap_client.h"
#include "util/reporter.h"

namespace kestrel {

// The journal file: created new (never an existing file) with mode 0600; every append is
// written whole and synced before it returns.
class UndoJournal {
  public:
    // The open journal, or nothing with `error` saying why (the file exists, ...).
    static std::unique_ptr<UndoJournal> create(const std::string& path, std::string& error);

    // Owns `fd`, an open, empty file.
    explicit UndoJournal(int fd) : fd_(fd) {}
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    bool append(const std::string& text);
    // Takes back what was appended after `size` (a record for a write that failed).
    bool truncateTo(std::uint64_t size);
    std::uint64_t size() const { return size_; }

  private:
    int fd_;
    std::uint64_t size_ = 0;
};

// Attributes a client cannot write back on a reanimated object: the schema's system-only
// and constructed attributes (read from `schemaNamingContext`) and those the directory
// maintains itself. Names are lower case.
std::set<std::string> serverMaintainedAttributes(LdapConnection& connection,
                                                 const std::string& schemaNamingContext);

// Wraps the run's bound connection: before each write it reads what the write will change
// and journals the reversing record; a write whose journal record cannot be written is
// not sent. A failed write's record is taken back and replaced by a comment.
std::unique_ptr<LdapConnection> journalingConnection(std::unique_ptr<LdapConnection> real,
                                                     UndoJournal& journal, Reporter& reporter,
                                                     std::set<std::string> maintained);

// Wraps the password step: a password cannot be read back, so the journal says so.
class JournalingPasswordSetter final : public PasswordSetter {
  public:
    JournalingPasswordSetter(PasswordSetter& real, UndoJournal& journal)
        : real_(real), journal_(journal) {}

    std::int32_t setPassword(Reporter& reporter, const std::string& serverName,
                             const std::string& dn, const std::string& password) override;

  private:
    PasswordSetter& real_;
    UndoJournal& journal_;
};

}  // namespace kestrel
