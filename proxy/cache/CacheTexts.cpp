#include "proxy/cache/CacheTexts.h"

#include "proxy/language/LanguageTable.h"

namespace {

// The count of files still to scan is not a message of the language table.
const char* const TO_GO[LANGUAGE_COUNT] = {" to go       \r", " verbleibend       \r",
                                           " te gaan       \r"};

CacheTexts texts_of(uint32_t language) {
    return {message(MSG_NO_DATABASE, language),   TO_GO[language],
            message(MSG_FILE_QUOTE, language),    message(MSG_NOT_A_CACHE_FILE, language),
            message(MSG_RECOVERED_FILES, language), message(MSG_INVALID_FILES, language)};
}

} // namespace

const CacheTexts& cache_texts(uint32_t language) {
    static const CacheTexts TEXTS[LANGUAGE_COUNT] = {texts_of(0), texts_of(1), texts_of(2)};
    return TEXTS[language < LANGUAGE_COUNT ? language : 0];
}
