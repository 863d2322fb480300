#include "undo/undo_attributes.h"

#include <iterator>

namespace kestrel {
namespace {

// Attributes the directory keeps up to date itself; the schema does not mark them, but a
// client's write of them is refused or overwritten on a reanimated object.
constexpr const char* kMaintainedByTheServer[] = {
    "badpasswordtime",
    "badpwdcount",
    "lastlogoff",
    "lastlogon",
    "lastlogontimestamp",
    "logoncount",
    "pwdlastset",
    "samaccounttype",
    "primarygroupid",
    "objectcategory",
    "name",
    "distinguishedname",
    "objectclass",
    "isdeleted",
    "lastknownparent",
    "isrecycled",
    "objectguid",
    "objectsid",
    "whencreated",
    "whenchanged",
    "usncreated",
    "usnchanged",
    "instancetype",
    "dscorepropagationdata",
    "memberof",
    "replpropertymetadata",
};

}  // namespace

UndoAttributes undoAttributes(const std::string& schemaNamingContext) {
    UndoAttributes attributes{.schema = AttributeSchema(schemaNamingContext), .maintained = {}};
    attributes.maintained.insert(std::begin(kMaintainedByTheServer),
                                 std::end(kMaintainedByTheServer));
    return attributes;
}

}  // namespace kestrel
