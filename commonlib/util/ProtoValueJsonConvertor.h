// ProtoValue trees to and from JSON text. The system works in wide text; JSON is handled as UTF-8
// inside the conversion. Booleans become the integers 1 and 0; byte strings have no JSON form.
#pragma once

#include <string>

#include "commonlib/core/ProtoValue.h"

// Parses `json` (up to its first NUL) into `target`, read in place: an array is appended to an
// existing array and an object's members overwrite an existing map's entries; an empty array or
// object adds nothing. A parse error is logged and leaves `target` unchanged (false).
bool JsonToProtoValue(const std::wstring& json, ProtoValue& target);

// Renders `value` as indented JSON text. False, with `json` unchanged, when the value is a byte
// string; a byte string inside a tree becomes null.
bool ProtoValueToJson(const ProtoValue& value, std::wstring& json);
