// The language table: 112 messages in three languages, picked by number.
#include "proxy/language/LanguageTable.h"

#include "proxy/cache/CacheTexts.h"
#include "proxy/server/ServerTexts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

bool unused(uint32_t m) { return m == MSG_UNUSED_84 || m == MSG_UNUSED_85; }

TEST(LanguageTable, EveryMessageHasThreeTexts) {
    for (uint32_t m = 0; m < MESSAGE_COUNT; m++) {
        for (uint32_t language = 0; language < LANGUAGE_COUNT; language++) {
            const char* text = message(m, language);
            ASSERT_NE(text, nullptr) << "message " << m << " language " << language;
            if (unused(m))
                EXPECT_STREQ(text, "") << m;
            else
                EXPECT_GT(std::strlen(text), 0u) << "message " << m << " language " << language;
        }
    }
}

TEST(LanguageTable, GermanAndDutchAreTranslationsNotCopies) {
    for (uint32_t m = 0; m < MESSAGE_COUNT; m++) {
        if (unused(m)) continue;
        std::string english = message(m, 0);
        EXPECT_NE(english, message(m, 1)) << "message " << m << " is not translated to German";
        EXPECT_NE(english, message(m, 2)) << "message " << m << " is not translated to Dutch";
    }
}

TEST(LanguageTable, TextsKeepToAscii) {
    for (uint32_t m = 0; m < MESSAGE_COUNT; m++)
        for (uint32_t language = 0; language < LANGUAGE_COUNT; language++)
            for (const char* c = message(m, language); *c; c++)
                EXPECT_LT(static_cast<unsigned char>(*c), 0x80) << m << "/" << language;
}

TEST(LanguageTable, EnglishTextsAreTheSystemsOwn) {
    EXPECT_STREQ(message(MSG_STATISTICS, 0), "Statistics");
    EXPECT_STREQ(message(MSG_INVALID_PATH, 0), "Invalid path specified: '");
    EXPECT_STREQ(message(MSG_NO_ENTRIES, 0), "There are currently no cache entries.");
    EXPECT_STREQ(message(MSG_TOTAL_SIZE, 0), "Total size of cached files: ");
    EXPECT_STREQ(message(MSG_FILES_IMPORTED, 0), " files have been imported from directory '");
    EXPECT_STREQ(message(MSG_TO_DIRECTORY, 0), "to directory");
    EXPECT_STREQ(message(MSG_UNKNOWN, 0), "unknown");
}

TEST(LanguageTable, HelpDirectoryFollowsTheLanguage) {
    EXPECT_STREQ(message(MSG_HELP_DIRECTORY, 0), "help_e");
    EXPECT_STREQ(message(MSG_HELP_DIRECTORY, 1), "help_d");
    EXPECT_STREQ(message(MSG_HELP_DIRECTORY, 2), "help_nl");
}

TEST(LanguageTable, ConsoleTextsAreThoseTheServerPrints) {
    EXPECT_STREQ(message(MSG_READY, 1), "fertig.\nDruecken Sie Strg-C um den Quaylo zu beenden");
    EXPECT_STREQ(message(MSG_READING_CACHE, 2), "Bezig met lezen cache-database...");
    for (uint32_t language = 0; language < LANGUAGE_COUNT; language++) {
        EXPECT_STREQ(message(MSG_READING_CACHE, language),
                     server_text(ServerText::READING_CACHE, language));
        EXPECT_STREQ(message(MSG_READY, language), server_text(ServerText::READY, language));
        EXPECT_STREQ(message(MSG_SHUTTING_DOWN, language),
                     server_text(ServerText::SHUTDOWN, language));
        const CacheTexts& cache = cache_texts(language);
        EXPECT_STREQ(message(MSG_NO_DATABASE, language), cache.no_database);
        EXPECT_STREQ(message(MSG_FILE_QUOTE, language), cache.not_valid_open);
        EXPECT_STREQ(message(MSG_NOT_A_CACHE_FILE, language), cache.not_valid_close);
        EXPECT_STREQ(message(MSG_RECOVERED_FILES, language), cache.recovered);
        EXPECT_STREQ(message(MSG_INVALID_FILES, language), cache.invalid);
    }
}

TEST(LanguageTable, WorkerPageTextsAreTheGivenOnes) {
    EXPECT_STREQ(message(MSG_ERROR_TITLE, 1), "Fehlermeldung vom Quaylo");
    EXPECT_STREQ(message(MSG_GO_OFFLINE, 2), "de offline-stand");
    EXPECT_STREQ(message(MSG_THEN_RELOAD, 1), ", und laden Sie die URL anschliessend erneut.");
    EXPECT_STREQ(message(MSG_ERROR_DETAILS, 2), "Gedetailleerde foutmelding");
}

TEST(LanguageTable, OutOfRangeFallsBackSafely) {
    EXPECT_STREQ(message(MSG_OPTIONS, 3), "Options");
    EXPECT_STREQ(message(MSG_OPTIONS, 0xFFFFFFFFu), "Options");
    EXPECT_STREQ(message(MESSAGE_COUNT, 0), "");
    EXPECT_STREQ(message(0xFFFFFFFFu, 1), "");
}

} // namespace
