// Whether two values of one attribute are the same value to the directory: what decides,
// under the permissive modify control, whether a value added was there already.
#pragma once

#include <string_view>

#include "directory/attribute_schema.h"

namespace kestrel {

// Dn: the same object by dnKey's rule (text that is no DN for it: compared as Text).
// Exact: the same bytes. Text: the same after Unicode simple case folding.
// Unknown: same under Text, or the same object when both read as DNs; when unsure, a value
// counts as the same, so an undo leaves a value in place rather than removing one that
// was there before.
bool sameValue(ValueSyntax syntax, std::string_view a, std::string_view b);

}  // namespace kestrel
