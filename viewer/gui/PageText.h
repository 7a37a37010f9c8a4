// Text from pages and links as the windows show it. Pages reach the graph
// as bytes: titles decoded as Windows-1252 (an entity like "&Uuml;" becomes
// the byte 0xDC), URLs as they stood, and what the user typed as UTF-8.
// Valid UTF-8 is taken as such; anything else is read as Windows-1252, so
// no byte turns into a replacement mark.
#pragma once

#include <QString>

#include <string_view>

// At most `limit` characters (then cut, with "..." as the last three);
// no limit when it is negative.
QString PageText(std::string_view bytes, qsizetype limit = -1);
