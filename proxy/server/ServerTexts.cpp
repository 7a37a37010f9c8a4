#include "proxy/server/ServerTexts.h"

namespace {

constexpr uint32_t LANGUAGES = 3;

// One row per text: english, deutsch, dutch.
const char* const TEXTS[][LANGUAGES] = {
    {"reading cache-database...", "lese Cache Datenbank...", "Bezig met lezen cache-database..."},
    {"ready.\nPress Ctrl-C to end the Quaylo",
     "fertig.\nDruecken Sie Strg-C um den Quaylo zu beenden",
     "klaar.\nGebruik Ctrl-C om de Quaylo af te sluiten"},
    {"shutting down server...\n", "Server wird heruntergefahren...\n",
     "De server wordt afgesloten...\n"},
};

} // namespace

const char* server_text(ServerText text, uint32_t language) {
    if (language >= LANGUAGES) language = 0;
    return TEXTS[static_cast<uint32_t>(text)][language];
}
