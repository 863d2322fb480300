#include "ops/dry_run.h"

#include <optional>
#include <utility>
#include <vector>

#include "attr/password_attribute.h"
#include "directory/forwarding_connection.h"
#include "ldif/ldif_writer.h"
#include "util/ldif_comment.h"

namespace kestrel {
namespace {

class PreviewConnection final : public ForwardingConnection {
  public:
    PreviewConnection(std::unique_ptr<LdapConnection> real, Reporter& reporter)
        : ForwardingConnection(std::move(real)), reporter_(reporter) {}

    int sendDelete(const std::string& dn, const ServerControls& controls, int& messageId) override {
        return show({.dn = dn, .kind = LdifChange::Kind::Delete, .controls = controls}, messageId);
    }

    int sendRename(const std::string& dn, const std::string& newRdn, const std::string& newParent,
                   bool deleteOldRdn, const ServerControls& controls, int& messageId) override {
        LdifChange change{
            .dn = dn,
            .kind = LdifChange::Kind::ModDn,
            .newRdn = newRdn,
            .deleteOldRdn = deleteOldRdn,
            // The seam's empty parent keeps the parent, as the request would.
            .newSuperior = newParent.empty() ? std::nullopt : std::optional(newParent),
            .controls = controls};
        return show(change, messageId);
    }

    int sendModifications(ModificationRequest request, const std::string& dn,
                          std::span<const Modification> modifications,
                          const ServerControls& controls, int& messageId) override {
        const bool add = request == ModificationRequest::Add;
        LdifChange change{.dn = dn,
                          .kind = add ? LdifChange::Kind::Add : LdifChange::Kind::Modify,
                          .controls = controls};
        for (const Modification& modification : modifications) {
            if (carriesPassword(modification.attribute)) {
                change.comments.push_back("A password would be set here (" +
                                          modification.attribute + "); its value is not shown.");
                continue;
            }
            Modification& written = change.modifications.emplace_back(modification);
            for (std::string& value : written.values) {
                // The value the server would receive: a text value ends at its first zero byte.
                value = written.binary ? value : std::string(value.c_str());
            }
        }
        return show(change, messageId);
    }

    int passwordModify(const std::string&, const std::string&) override {
        return kLdapNotSupported;  // only the password layer's own session sends it
    }

    int waitForResult(int messageId, int, std::string& diagnostic, bool& sent) override {
        diagnostic.clear();
        sent = true;  // shown as it would be sent
        return messageId > 0 && messageId <= lastMessageId_ ? 0 : kLdapParamError;
    }

  private:
    int show(const LdifChange& change, int& messageId) {
        const std::optional<std::string> record = ldifRecord(change);
        if (!record) {
            // A name that LDIF cannot carry: such a record would say something else.
            return kLdapParamError;
        }
        reporter_.block(*record);
        messageId = ++lastMessageId_;
        return 0;
    }

    Reporter& reporter_;
    int lastMessageId_ = 0;
};

}  // namespace

std::unique_ptr<LdapConnection> previewConnection(std::unique_ptr<LdapConnection> real,
                                                  Reporter& reporter) {
    return std::make_unique<PreviewConnection>(std::move(real), reporter);
}

std::int32_t PreviewPasswordSetter::setPassword(Reporter& reporter, const std::string&,
                                                const std::string& dn, const std::string&) {
    reporter.block(
        ldifComment(dn + ": a password would be set (#setpwd#); its value is not shown."));
    return 0;
}

}  // namespace kestrel
