// -undo FILE and #setpwd#: a password cannot be read back, so the journal says so before
// the password is set.
#pragma once

#include <cstdint>
#include <string>

#include "password/password_setter.h"
#include "undo/undo_journal_file.h"
#include "util/reporter.h"

namespace kestrel {

// Wraps the password step: each password set is noted in the journal first; one that
// cannot be noted is not set.
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
