#include "proxy/language/RefusalTexts.h"

#include "proxy/language/LanguageTable.h"

namespace {

const char* const INTRO[LANGUAGE_COUNT] = {
    "Quaylo refused your request:",
    "Der Quaylo hat Ihre Anfrage abgelehnt:",
    "Quaylo heeft uw verzoek geweigerd:",
};

const char* const REASONS[REFUSAL_REASON_COUNT][LANGUAGE_COUNT] = {
    {"", "", ""},
    {"the request line holds a control character.",
     "die Anfragezeile enthaelt ein Steuerzeichen.", "de verzoekregel bevat een stuurteken."},
    {"a header line holds a control character.", "eine Kopfzeile enthaelt ein Steuerzeichen.",
     "een headerregel bevat een stuurteken."},
    {"the URL holds a character that is not allowed there.",
     "die URL enthaelt ein Zeichen, das dort nicht erlaubt ist.",
     "de URL bevat een teken dat daar niet is toegestaan."},
    {"the URL holds a user name or password.",
     "die URL enthaelt einen Benutzernamen oder ein Passwort.",
     "de URL bevat een gebruikersnaam of wachtwoord."},
    {"the port of the URL is not a number from 1 to 65535.",
     "der Port der URL ist keine Zahl von 1 bis 65535.",
     "de poort van de URL is geen getal van 1 tot 65535."},
    {"the Content-Length header holds no valid length.",
     "die Kopfzeile Content-Length enthaelt keine gueltige Laenge.",
     "de header Content-Length bevat geen geldige lengte."},
    {"two Content-Length headers give different lengths.",
     "zwei Content-Length-Kopfzeilen nennen verschiedene Laengen.",
     "twee Content-Length-headers noemen verschillende lengtes."},
    {"a request body with a Transfer-Encoding cannot be passed on.",
     "ein Anfragerumpf mit Transfer-Encoding kann nicht weitergegeben werden.",
     "een verzoek met Transfer-Encoding kan niet worden doorgegeven."},
    {"the request line is too long.", "die Anfragezeile ist zu lang.",
     "de verzoekregel is te lang."},
    {"the header lines of the request are too long.",
     "die Kopfzeilen der Anfrage sind zu lang.", "de headerregels van het verzoek zijn te lang."},
    {"the request has already passed through this proxy: it runs in a loop.",
     "die Anfrage ist schon durch diesen Proxy gelaufen: sie laeuft im Kreis.",
     "het verzoek is al door deze proxy gegaan: het loopt in een kring rond."},
};

uint32_t known(uint32_t language) { return language < LANGUAGE_COUNT ? language : 0; }

} // namespace

const char* refusal_intro(uint32_t language) { return INTRO[known(language)]; }

const char* refusal_reason(uint32_t reason, uint32_t language) {
    return reason < REFUSAL_REASON_COUNT ? REASONS[reason][known(language)] : "";
}
