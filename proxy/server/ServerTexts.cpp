#include "proxy/server/ServerTexts.h"

#include "proxy/language/LanguageTable.h"

// The texts are messages of the language table, in the order of ServerText.
const char* server_text(ServerText text, uint32_t language) {
    return message(MSG_READING_CACHE + static_cast<uint32_t>(text), language);
}
