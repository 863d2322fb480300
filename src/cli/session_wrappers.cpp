#include "cli/session_wrappers.h"

#include <string>
#include <utility>

#include "ops/permissive_modify.h"

namespace kestrel {

Verdict createUndoJournal(const RunSettings& settings, std::unique_ptr<UndoJournal>& journal) {
    if (!settings.undoGiven) {
        return std::nullopt;
    }
    std::string why;
    journal = UndoJournal::create(settings.undoFile, why);
    if (!journal) {
        // Never overwritten: an existing journal may be the only way back from a run.
        return Refusal::nothingSent("Cannot create the undo journal " + settings.undoFile + ": " +
                                    why + ".");
    }
    return std::nullopt;
}

PasswordSetter& wrapSession(Reporter& reporter, const RunSettings& settings,
                            PasswordSetter& realPasswords, UndoJournal* journal,
                            const RootDseInfo& rootDse, LdapSession& session,
                            PasswordWrappers& wrappers) {
    // From here on a dry run reads as a real one does, but writes only LDIF.
    PasswordSetter* passwords = &realPasswords;
    if (settings.dryRun) {
        session.handle = previewConnection(std::move(session.handle), reporter);
        passwords = &wrappers.preview;
    }
    if (journal != nullptr) {
        session.handle = journalingConnection(std::move(session.handle), *journal, reporter,
                                              undoAttributes(rootDse.schemaNamingContext));
        passwords = &wrappers.journaling.emplace(realPasswords, *journal);
    }
    if (settings.permissive) {
        session.handle = permissiveConnection(std::move(session.handle));
    }
    return *passwords;
}

}  // namespace kestrel
