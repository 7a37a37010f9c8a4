// Character entities of page text: the fixed table of 260 names the scanner
// knows and the decoding of page text and titles for display. Attribute
// values (addresses) are used as written and never decoded.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

// Name (case-sensitive, without "&" and ";") -> replacement text:
// "lt", "gt", "amp", "quot"; the ISO 8859-1 letters ("Auml" -> byte 0xC4);
// "reg", "copy", "trade" ("(TM)"), "nbsp" (a plain blank); "#32" to "#126"
// and "#161" to "#255" in decimal without leading zeros.
const std::unordered_map<std::string, std::string>& EntityTable();

// Replaces every "&name;" whose name is in the table. The ";" must come
// within seven characters after the "&", so longer names stay as written,
// and so does an "&" without a known name.
std::string DecodeEntities(std::string_view text);
