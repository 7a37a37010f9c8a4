// The language table: 115 messages in three languages, picked by number.
#include "proxy/language/LanguageTable.h"

#include <gtest/gtest.h>

namespace {

TEST(LanguageTable, EveryMessageHasThreeTranslatedAsciiTextsAndOutOfRangeFallsBack) {
    for (uint32_t m = 0; m < MESSAGE_COUNT; m++) {
        for (uint32_t language = 0; language < LANGUAGE_COUNT; language++) {
            std::string text = message(m, language);
            EXPECT_FALSE(text.empty()) << "message " << m << " language " << language;
            EXPECT_TRUE(language == 0 || text != message(m, 0))
                << "message " << m << " language " << language << " is not translated";
            // The console shows them too: German and Dutch are transliterated.
            for (char c : text)
                EXPECT_LT(static_cast<unsigned char>(c), 0x80) << m << "/" << language;
        }
    }
    EXPECT_STREQ(message(MSG_OPTIONS, 0xFFFFFFFFu), message(MSG_OPTIONS, 0));
    EXPECT_STREQ(message(MESSAGE_COUNT, 0), "");
}

} // namespace
