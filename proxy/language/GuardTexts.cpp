#include "proxy/language/GuardTexts.h"

#include "proxy/language/LanguageTable.h"

namespace {

// English, German, Dutch per text; German and Dutch keep to ASCII like the
// main table.
const char* const TEXTS[][LANGUAGE_COUNT] = {
    {"Please confirm", "Bitte bestaetigen", "Graag bevestigen"},
    {"This request would change the Quaylo, but it did not come from the Quaylo's own pages: "
     "another web page may have sent it. Nothing has been changed. If you want this change, "
     "confirm it with the button below.",
     "Diese Anfrage wuerde den Quaylo aendern, kam aber nicht von den eigenen Seiten des "
     "Quaylo: eine andere Web-Seite kann sie geschickt haben. Es wurde nichts geaendert. Wenn "
     "Sie diese Aenderung wollen, bestaetigen Sie sie mit dem Knopf unten.",
     "Dit verzoek zou de Quaylo wijzigen, maar het kwam niet van de eigen pagina's van de "
     "Quaylo: een andere webpagina kan het hebben verstuurd. Er is niets gewijzigd. Als u deze "
     "wijziging wilt, bevestig haar dan met de knop hieronder."},
    {"Requested change:", "Angeforderte Aenderung:", "Gevraagde wijziging:"},
    {"Confirm", "Bestaetigen", "Bevestigen"},
    {"can be changed only on the command line or in the setup file",
     "kann nur auf der Kommandozeile oder in der Setup-Datei geaendert werden",
     "kan alleen op de opdrachtregel of in het setup-bestand worden gewijzigd"},
    {"is this proxy itself", "ist dieser Proxy selbst", "is deze proxy zelf"},
};

} // namespace

const char* guard_text(GuardText which, uint32_t language) {
    if (language >= LANGUAGE_COUNT) language = 0;
    return TEXTS[uint32_t(which)][language];
}
