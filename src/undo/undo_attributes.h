// What the undo records need to know of the directory's attributes: the names the server
// answers with, and those a client cannot write back on a reanimated object.
#pragma once

#include <set>
#include <string>

#include "directory/attribute_schema.h"

namespace kestrel {

struct UndoAttributes {
    AttributeSchema schema;  // the names the server answers with
    // Lower-case display names a client cannot write back on a reanimated object.
    std::set<std::string> maintained;
};

// The attributes a reanimation cannot write back, those the directory maintains itself;
// the journaling connection reads from the schema below `schemaNamingContext` only what
// its writes need: the names a modify gives by OID, and at the first delete the system-only
// and constructed attributes. A schema that cannot be read leaves the names folded only (an
// attribute the server then answers under another name refuses its target rather than
// journal a wrong record) and the maintained attributes to the fixed list.
UndoAttributes undoAttributes(const std::string& schemaNamingContext);

}  // namespace kestrel
