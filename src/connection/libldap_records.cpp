#include "connection/libldap_records.h"

#include <utility>

#include "connection/libldap_memory.h"

namespace kestrel {
namespace {

int modOp(const Modification& modification) {
    int op = LDAP_MOD_ADD;
    switch (modification.operation) {
        case ModOperation::Add:
            op = LDAP_MOD_ADD;
            break;
        case ModOperation::Delete:
            op = LDAP_MOD_DELETE;
            break;
        case ModOperation::Replace:
            op = LDAP_MOD_REPLACE;
            break;
    }
    return modification.binary ? op | LDAP_MOD_BVALUES : op;
}

}  // namespace

ControlArray::ControlArray(const ServerControls& controls) {
    records_.resize(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        LDAPControl& record = records_[i];
        record.ldctl_oid = const_cast<char*>(controls[i].oid.c_str());
        if (controls[i].value.empty()) {
            record.ldctl_value.bv_len = 0;
            record.ldctl_value.bv_val = nullptr;
        } else {
            record.ldctl_value.bv_len = controls[i].value.size();
            record.ldctl_value.bv_val = const_cast<char*>(controls[i].value.data());
        }
        record.ldctl_iscritical = controls[i].critical ? 1 : 0;
    }
    for (LDAPControl& record : records_) {
        pointers_.push_back(&record);
    }
    pointers_.push_back(nullptr);
}

ModArray::ModArray(std::span<const Modification> modifications) : records_(modifications.size()) {
    for (std::size_t i = 0; i < modifications.size(); ++i) {
        const Modification& modification = modifications[i];
        Record& record = records_[i];
        record.mod.mod_op = modOp(modification);
        record.mod.mod_type = const_cast<char*>(modification.attribute.c_str());
        // Every value array is terminated, never null: an add refuses a null one, and a
        // modify sends both alike.
        if (modification.binary) {
            for (const std::string& value : modification.values) {
                // An empty value keeps the null pointer it has always had: a modify sends
                // it as an empty value, an add refuses it (Bad parameter) before sending.
                record.bytes.push_back(berval{
                    value.size(), value.empty() ? nullptr : const_cast<char*>(value.data())});
            }
            for (berval& value : record.bytes) {
                record.bytePointers.push_back(&value);
            }
            record.bytePointers.push_back(nullptr);
            record.mod.mod_bvalues = record.bytePointers.data();
        } else {
            for (const std::string& value : modification.values) {
                record.texts.push_back(const_cast<char*>(value.c_str()));
            }
            record.texts.push_back(nullptr);
            record.mod.mod_values = record.texts.data();
        }
    }
    for (Record& record : records_) {
        pointers_.push_back(&record.mod);
    }
    pointers_.push_back(nullptr);
}

LdapEntry readEntry(LDAP* ld, LDAPMessage* message) {
    LdapEntry entry;
    if (char* dn = ldap_get_dn(ld, message); dn != nullptr) {
        LdapString owned(dn);
        entry.dn = owned.get();
    }
    BerElement* rawBer = nullptr;
    for (char* name = ldap_first_attribute(ld, message, &rawBer); name != nullptr;
         name = ldap_next_attribute(ld, message, rawBer)) {
        LdapString ownedName(name);
        LdapAttribute attribute{name, {}};
        if (berval** values = ldap_get_values_len(ld, message, name); values != nullptr) {
            ValuesPtr owned(values);
            for (berval** value = values; *value != nullptr; ++value) {
                attribute.values.emplace_back((*value)->bv_val, (*value)->bv_len);
            }
        }
        entry.attributes.push_back(std::move(attribute));
    }
    BerPtr ber(rawBer);
    return entry;
}

}  // namespace kestrel
