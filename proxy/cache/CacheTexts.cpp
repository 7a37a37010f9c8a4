#include "proxy/cache/CacheTexts.h"

namespace {

const CacheTexts TEXTS[] = {
    {
        "No valid database found in cache directory,\nwill create new one.\n",
        " to go       \r",
        "file '",
        "' is not a valid cache file\n",
        "successfully recovered files: ",
        "invalid files found:  ",
    },
    {
        "Keine gueltige Datenbank im Cache-Verzeichnis gefunden,\nlege eine neue an.\n",
        " verbleibend       \r",
        "Datei '",
        "' ist keine gueltige Cache-Datei\n",
        "erfolgreich wiederhergestellte Dateien: ",
        "ungueltige Dateien gefunden:  ",
    },
    {
        "Geen geldige database gevonden in de cache-directory,\ner wordt een nieuwe aangemaakt.\n",
        " te gaan       \r",
        "bestand '",
        "' is geen geldig cache-bestand\n",
        "succesvol herstelde bestanden: ",
        "ongeldige bestanden gevonden:  ",
    },
};

} // namespace

const CacheTexts& cache_texts(uint32_t language) {
    return TEXTS[language < sizeof TEXTS / sizeof TEXTS[0] ? language : 0];
}
