#include "undo/journaling_password_setter.h"

#include "undo/no_undo_record.h"
#include "undo/undo_records.h"

namespace kestrel {

std::int32_t JournalingPasswordSetter::setPassword(Reporter& reporter,
                                                   const std::string& serverName,
                                                   const std::string& dn,
                                                   const std::string& password) {
    std::string why;
    if (!journal_.append(undoComment({dn + ": its password is set by this run (#setpwd#); a "
                                           "password cannot be read back, so this cannot be "
                                           "undone."}),
                         why)) {
        reporter.block(noUndoRecordLine(dn, "the journal could not be written (" + why + ")",
                                        "the password was not set"));
        return static_cast<std::int32_t>(0x8007001Fu);  // ERROR_GEN_FAILURE as an HRESULT
    }
    return real_.setPassword(reporter, serverName, dn, password);
}

}  // namespace kestrel
