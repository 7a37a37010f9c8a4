#include "proxy/language/LanguageTable.h"

namespace {

// Four slots per message: english, deutsch, dutch, end. German and Dutch
// keep to ASCII (ae, oe, ue, ss), like the console they are also printed on.
const char* const SLOTS[] = {
    // 0
    "Statistics", "Statistik", "Statistieken", "",
    "Listening on port: ", "Wartet auf Port: ", "Luistert op poort: ", "",
    "Current client connections: ", "Aktuelle Client-Verbindungen: ",
    "Huidige clientverbindingen: ", "",
    "Options", "Optionen", "Opties", "",
    "You can configure the Quaylo by submitting the form below. If you need help on any of the "
    "options, follow the associated hyperlink on the left hand side of the page.",
    "Sie koennen den Quaylo einstellen, indem Sie das folgende Formular abschicken. Wenn Sie "
    "Hilfe zu einer der Optionen brauchen, folgen Sie dem zugehoerigen Verweis am linken Rand "
    "der Seite.",
    "U kunt de Quaylo instellen door het onderstaande formulier te versturen. Als u hulp nodig "
    "hebt bij een van de opties, volg dan de bijbehorende hyperlink aan de linkerkant van de "
    "pagina.",
    "",
    // 5
    "Change Options", "Optionen aendern", "Opties wijzigen", "",
    "Reset form to current options", "Formular auf aktuelle Optionen zuruecksetzen",
    "Formulier terugzetten naar huidige opties", "",
    "Mode:", "Modus:", "Stand:", "",
    "Max. concurrent connections:", "Max. gleichzeitige Verbindungen:",
    "Max. gelijktijdige verbindingen:", "",
    "Remote proxy used:", "Benutzter Remote-Proxy:", "Gebruikte externe proxy:", "",
    // 10
    "Remote proxy port:", "Port des Remote-Proxy:", "Poort van de externe proxy:", "",
    "Network timeout:", "Netzwerk-Timeout:", "Netwerk-timeout:", "",
    "Document update time:", "Aktualisierungszeit fuer Dokumente:",
    "Verversingstijd van documenten:", "",
    "Maximum size of cache:", "Maximale Groesse des Cache:", "Maximale grootte van de cache:", "",
    "Size limit for cached files:", "Groessenlimit fuer Dateien im Cache:",
    "Groottelimiet voor bestanden in de cache:", "",
    // 15
    "Maximum files in cache:", "Maximale Anzahl Dateien im Cache:",
    "Maximaal aantal bestanden in de cache:", "",
    "Notice: If you want to make sure you see the correct currently used options, reload this "
    "page first, then click 'Reset form to current options'",
    "Hinweis: Um sicherzugehen, dass Sie die aktuell benutzten Optionen sehen, laden Sie diese "
    "Seite zuerst neu und klicken Sie dann auf 'Formular auf aktuelle Optionen zuruecksetzen'",
    "Let op: om zeker te weten dat u de opties ziet die nu gebruikt worden, laadt u deze pagina "
    "eerst opnieuw en klikt u daarna op 'Formulier terugzetten naar huidige opties'",
    "",
    "Welcome to Corvane's", "Willkommen bei Corvanes", "Welkom bij Corvane's", "",
    "Browse through the ", "Blaettern Sie in den ", "Blader door de ", "",
    "help documents", "Hilfedokumenten", "helpdocumenten", "",
    // 20
    "Examine or change the ", "Ansehen oder aendern: ", "Bekijk of wijzig de ", "",
    "Explore the current cache ", "Erkunden Sie den aktuellen ", "Bekijk de huidige ", "",
    "inventory", "Cache-Bestand", "cache-inhoud", "",
    "View the usage ", "Nutzung des Servers: ", "Gebruik van de server: ", "",
    "Contact Corvane for ", "Schreiben Sie Corvane fuer ", "Neem contact op met Corvane voor ", "",
    // 25
    "news or feed-back", "Neuigkeiten oder Rueckmeldungen", "nieuws of reacties", "",
    "Quaylo - the caching proxy of Corvane", "Quaylo - der Cache-Proxy von Corvane",
    "Quaylo - de cache-proxy van Corvane", "",
    "Unauthorized access:", "Unberechtigter Zugriff:", "Onbevoegde toegang:", "",
    "Your IP-address does not have administrative permissions",
    "Ihre IP-Adresse hat keine Administrationsrechte", "Uw IP-adres heeft geen beheerdersrechten",
    "",
    "Options were changed", "Die Optionen wurden geaendert", "De opties zijn gewijzigd", "",
    // 30
    "See below for active settings", "Die aktiven Einstellungen sehen Sie unten",
    "Zie hieronder voor de actieve instellingen", "",
    "Invalid path specified: '", "Ungueltiger Pfad angegeben: '", "Ongeldig pad opgegeven: '", "",
    "Request ", "Fordern Sie ", "Vraag ", "",
    "for a menu of things you can do with this server.",
    "an, um eine Uebersicht der Moeglichkeiten dieses Servers zu erhalten.",
    "op voor een menu met de mogelijkheden van deze server.", "",
    "Language:", "Sprache:", "Taal:", "",
    // 35
    "help_e", "help_d", "help_nl", "",
    "reading cache-database...", "lese Cache Datenbank...", "Bezig met lezen cache-database...", "",
    "ready.\nPress Ctrl-C to end the Quaylo", "fertig.\nDruecken Sie Strg-C um den Quaylo zu beenden",
    "klaar.\nGebruik Ctrl-C om de Quaylo af te sluiten", "",
    "shutting down server...\n", "Server wird heruntergefahren...\n",
    "De server wordt afgesloten...\n", "",
    "No valid database found in cache directory,\nwill create new one.\n",
    "Keine gueltige Datenbank im Cache-Verzeichnis gefunden,\nlege eine neue an.\n",
    "Geen geldige database gevonden in de cache-directory,\ner wordt een nieuwe aangemaakt.\n", "",
    // 40
    "file '", "Datei '", "bestand '", "",
    "' is not a valid cache file\n", "' ist keine gueltige Cache-Datei\n",
    "' is geen geldig cache-bestand\n", "",
    "successfully recovered files: ", "erfolgreich wiederhergestellte Dateien: ",
    "succesvol herstelde bestanden: ", "",
    "invalid files found:  ", "ungueltige Dateien gefunden:  ", "ongeldige bestanden gevonden:  ",
    "",
    "Cache directory: ", "Cache-Verzeichnis: ", "Cache-directory: ", "",
    // 45
    "Number of cached files: ", "Anzahl Dateien im Cache: ", "Aantal bestanden in de cache: ", "",
    "Number of files to update: ", "Anzahl zu aktualisierender Dateien: ",
    "Aantal bij te werken bestanden: ", "",
    "Number of incoming files: ", "Anzahl eingehender Dateien: ",
    "Aantal binnenkomende bestanden: ", "",
    "Total size of cached files: ", "Gesamtgroesse der Dateien im Cache: ",
    "Totale grootte van de bestanden in de cache: ", "",
    "Number of accesses: ", "Anzahl der Zugriffe: ", "Aantal opvragingen: ", "",
    // 50
    "This page shows a list of all servers that the Quaylo has documents from. If you follow "
    "one of the hyper links, you'll be shown a page that names all documents of the chosen "
    "server that are available in the cache.",
    "Diese Seite zeigt eine Liste aller Server, von denen der Quaylo Dokumente hat. Wenn Sie "
    "einem der Verweise folgen, sehen Sie eine Seite mit allen Dokumenten des gewaehlten "
    "Servers, die im Cache verfuegbar sind.",
    "Deze pagina toont een lijst van alle servers waarvan de Quaylo documenten heeft. Als u een "
    "van de hyperlinks volgt, ziet u een pagina met alle documenten van de gekozen server die "
    "in de cache beschikbaar zijn.",
    "",
    "There are currently no cache entries.", "Der Cache enthaelt zur Zeit keine Eintraege.",
    "Er staan op dit moment geen documenten in de cache.", "",
    "Cached URLs for host", "URLs im Cache fuer den Rechner", "URL's in de cache voor host", "",
    "This page has links to all documents that are available from the server you selected. At "
    "the beginning of the lines you can find a link that allows you to obtain detailed "
    "information on the cache entry.",
    "Diese Seite enthaelt Verweise auf alle verfuegbaren Dokumente des gewaehlten Servers. Am "
    "Anfang jeder Zeile finden Sie einen Verweis, der genaue Angaben zum Cache-Eintrag liefert.",
    "Deze pagina bevat links naar alle beschikbare documenten van de server die u koos. Aan het "
    "begin van elke regel staat een link waarmee u gedetailleerde informatie over het "
    "cache-item kunt opvragen.",
    "",
    "Cache Entry Details", "Details des Cache-Eintrags", "Details van het cache-item", "",
    // 55
    "Last update:", "Letzte Aktualisierung:", "Laatst bijgewerkt:", "",
    "ID Number:", "ID-Nummer:", "ID-nummer:", "",
    "Bytes cached:", "Bytes im Cache:", "Bytes in de cache:", "",
    "Error code:", "Fehlercode:", "Foutcode:", "",
    "Cannot open the cache file, the database has probably been corrupted. You may shutdown the "
    "Quaylo and delete the file 'cachedb', which will cause the Quaylo to rebuild the database "
    "next time it is run.",
    "Die Cache-Datei kann nicht geoeffnet werden, die Datenbank ist wahrscheinlich beschaedigt. "
    "Sie koennen den Quaylo beenden und die Datei 'cachedb' loeschen; der Quaylo baut die "
    "Datenbank dann beim naechsten Start neu auf.",
    "Het cache-bestand kan niet geopend worden, de database is waarschijnlijk beschadigd. U kunt "
    "de Quaylo afsluiten en het bestand 'cachedb' verwijderen; de Quaylo bouwt de database dan "
    "bij de volgende start opnieuw op.",
    "",
    // 60
    "Error message:", "Fehlermeldung:", "Foutmelding:", "",
    "Expires:", "Verfaellt:", "Verloopt:", "",
    "Last Modified:", "Zuletzt geaendert:", "Laatst gewijzigd:", "",
    "Error from Quaylo", "Fehlermeldung vom Quaylo", "Foutmelding van Quaylo", "",
    "The URL", "Die URL ", "De URL ", "",
    // 65
    " you requested is not cached, and since this server\nis currently switched to "
    "offline-mode, no attempt\ncan be made to get this URL from the remote server.",
    ", die Sie bestellten, befindet sich nicht im Cache,\nkann aber auch nicht geholt werden, "
    "da der\nOffline-Modus aktiviert ist.",
    "die u opvroeg is niet in de cache aanwezig en\nkan niet opgehaald worden omdat de proxy "
    "in\noffline-stand staat.",
    "",
    "You can ", "Sie koennen den ", "U kunt naar ", "",
    "activate the online-mode", "Online-Modus aktivieren", "online overschakelen", "",
    " then try to load the URL again.", " versuchen Sie dann nochmal, die Seite zu laden.",
    " en dan nogmaals proberen de site te laden.", "",
    "you requested could not be received from the remote server.",
    "konnte nicht empfangen werden.",
    "die u opvroeg kon niet ontvangen worden van de externe server.", "",
    // 70
    "There's a (possibly outdated) copy of it in the\ncache, if you want to read that copy, ",
    "Es existiert eine (moeglicherweise veraltete) Kopie\nim Cache, wenn Sie diese lesen "
    "moechten, schalten Sie in den ",
    "Er is een (mogelijk verouderde) kopie\nin cache. Als u die kopie wilt bekijken, schakel "
    "dan over naar ",
    "",
    "switch to offline-mode", "Offline-Modus", "de offline-stand", "",
    " first, then you may reload the desired URL.", ", und laden Sie die URL anschliessend erneut.",
    ", en geef de gewenste URL nogmaals op.", "",
    "Detailed error message", "Detaillierte Fehlerbeschreibung", "Gedetailleerde foutmelding", "",
    "SOCKS server:", "SOCKS-Server:", "SOCKS-server:", "",
    // 75
    "SOCKS port:", "SOCKS-Port:", "SOCKS-poort:", "",
    "SOCKS user-name:", "SOCKS-Benutzername:", "SOCKS-gebruikersnaam:", "",
    "Try a ", "Probieren Sie die ", "Probeer de ", "",
    "Text Retrieval", "Volltextsuche", "Tekstzoeker", "",
    "This page lets you search the text of all documents in the cache. Enter a search phrase; "
    "to look for several phrases at once, separate them by commas, and only the documents that "
    "contain all of them are listed. Upper and lower case are not distinguished, blanks count "
    "as they are typed, and only text documents are searched.",
    "Auf dieser Seite koennen Sie den Text aller Dokumente im Cache durchsuchen. Geben Sie einen "
    "Suchbegriff ein; um nach mehreren Begriffen zugleich zu suchen, trennen Sie sie durch "
    "Kommas, dann werden nur die Dokumente aufgelistet, die alle Begriffe enthalten. Gross- und "
    "Kleinschreibung wird nicht unterschieden, Leerzeichen zaehlen so, wie sie eingegeben "
    "werden, und durchsucht werden nur Textdokumente.",
    "Op deze pagina kunt u de tekst van alle documenten in de cache doorzoeken. Geef een "
    "zoekterm op; om naar meerdere termen tegelijk te zoeken, scheidt u ze door komma's, en dan "
    "worden alleen de documenten getoond die alle termen bevatten. Hoofdletters en kleine "
    "letters worden niet onderscheiden, spaties tellen mee zoals ze getypt zijn, en alleen "
    "tekstdocumenten worden doorzocht.",
    "",
    // 80
    "Search phrase: ", "Suchbegriff: ", "Zoekterm: ", "",
    "Start Search", "Suche starten", "Zoeken starten", "",
    "Clear entry field", "Eingabefeld leeren", "Invoerveld wissen", "",
    "Results of last search", "Ergebnisse der letzten Suche",
    "Resultaten van de laatste zoekopdracht", "",
    "HTTPS pages:", "HTTPS-Seiten:", "HTTPS-pagina's:", "",
    // 85
    "HTTPS hosts:", "HTTPS-Hosts:", "HTTPS-hosts:", "",
    "Export", "Exportieren", "Exporteren", "",
    "cached documents", "von Dokumenten aus dem Cache", "van documenten uit de cache", "",
    "Import", "Importieren", "Importeren", "",
    "from a directory", "aus einem Verzeichnis", "uit een directory", "",
    // 90
    "Nothing marked for export", "Nichts zum Exportieren ausgewaehlt",
    "Niets geselecteerd om te exporteren", "",
    "Export failed", "Export fehlgeschlagen", "Exporteren mislukt", "",
    "Export done", "Export abgeschlossen", "Exporteren voltooid", "",
    " files have been exported into directory '", " Dateien wurden exportiert in das Verzeichnis '",
    " bestanden zijn weggeschreven naar directory '", "",
    "Nothing marked for import", "Nichts zum Importieren ausgewaehlt",
    "Niets geselecteerd om te importeren", "",
    // 95
    "Import failed", "Import fehlgeschlagen", "Importeren mislukt", "",
    "Import done", "Import abgeschlossen", "Importeren voltooid", "",
    " files have been imported from directory '", " Dateien wurden importiert aus dem Verzeichnis '",
    " bestanden zijn ingelezen uit directory '", "",
    "This page allows you to either select hosts that you want to import all available "
    "documents from, or you may follow one of the links to import selected directories of one "
    "host.",
    "Auf dieser Seite koennen Sie entweder Server auswaehlen, von denen Sie alle verfuegbaren "
    "Dokumente importieren moechten, oder Sie folgen einem der Verweise, um ausgewaehlte "
    "Verzeichnisse eines Servers zu importieren.",
    "Op deze pagina kunt u servers kiezen waarvan u alle beschikbare documenten wilt "
    "importeren, of u volgt een van de links om geselecteerde directory's van een server te "
    "importeren.",
    "",
    "This page allows you to choose directories to import all available documents from.<BR> "
    "Please notice that sub-directories of selected directories are imported as well.",
    "Auf dieser Seite koennen Sie Verzeichnisse waehlen, aus denen alle verfuegbaren Dokumente "
    "importiert werden.<BR> Bitte beachten Sie, dass Unterverzeichnisse der gewaehlten "
    "Verzeichnisse ebenfalls importiert werden.",
    "Op deze pagina kunt u directory's kiezen waarvan u alle beschikbare documenten wilt "
    "importeren.<BR> Let op: ook de subdirectory's van de gekozen directory's worden "
    "meegenomen.",
    "",
    // 100
    "from cache-directory", "aus dem Cache-Verzeichnis", "uit cache-directory", "",
    "Unselect all", "Auswahl aufheben", "Alles deselecteren", "",
    "This page allows you to specify a directory on your filesystem which contains an Quaylo "
    "cache you want to import documents from.<BR>Please notice that this directory must not be "
    "in use by any other program.",
    "Auf dieser Seite geben Sie ein Verzeichnis Ihres Dateisystems an, das einen Quaylo-Cache "
    "enthaelt, aus dem Sie Dokumente importieren moechten.<BR>Bitte beachten Sie, dass dieses "
    "Verzeichnis von keinem anderen Programm benutzt werden darf.",
    "Op deze pagina geeft u een directory in uw bestandssysteem op die een Quaylo-cache bevat "
    "waaruit u documenten wilt importeren.<BR>Let op: deze directory mag niet door een ander "
    "programma in gebruik zijn.",
    "",
    "Import", "Importieren", "Importeren", "",
    "all files", "alle Dateien", "alle bestanden", "",
    // 105
    "from directory", "aus dem Verzeichnis", "uit directory", "",
    "selected files", "ausgewaehlte Dateien", "geselecteerde bestanden", "",
    "This page allows you to either select hosts that you want to export all available "
    "documents for, or you may follow one of the links to export selected directories of one "
    "host.",
    "Auf dieser Seite koennen Sie entweder Server auswaehlen, deren verfuegbare Dokumente Sie "
    "alle exportieren moechten, oder Sie folgen einem der Verweise, um ausgewaehlte "
    "Verzeichnisse eines Servers zu exportieren.",
    "Op deze pagina kunt u servers kiezen waarvan u alle beschikbare documenten wilt "
    "exporteren, of u volgt een van de links om geselecteerde directory's van een server te "
    "exporteren.",
    "",
    "This page allows you to choose directories to export all available documents from.<BR> "
    "Please notice that sub-directories of selected directories are exported as well.",
    "Auf dieser Seite koennen Sie Verzeichnisse waehlen, aus denen alle verfuegbaren Dokumente "
    "exportiert werden.<BR> Bitte beachten Sie, dass Unterverzeichnisse der gewaehlten "
    "Verzeichnisse ebenfalls exportiert werden.",
    "Op deze pagina kunt u directory's kiezen waarvan u alle beschikbare documenten wilt "
    "exporteren.<BR> Let op: ook de subdirectory's van de gekozen directory's worden "
    "meegenomen.",
    "",
    "Export", "Exportieren", "Exporteren", "",
    // 110
    "to directory", "in das Verzeichnis", "naar directory", "",
    "unknown", "unbekannt", "onbekend", "",
    "Your network is not allowed to use this proxy.",
    "Ihr Netz darf diesen Proxy nicht benutzen.",
    "Uw netwerk mag deze proxy niet gebruiken.", "",
    " points to this machine itself, which the proxy reaches only for clients on this "
    "machine.",
    " zeigt auf diesen Rechner selbst, den der Proxy nur fuer Clients auf diesem Rechner "
    "erreicht.",
    " verwijst naar deze machine zelf, die de proxy alleen bereikt voor clients op deze "
    "machine.", "",
    "Reading HTTPS sites offline", "HTTPS-Seiten offline lesen", "HTTPS-sites offline lezen",
};

static_assert(sizeof SLOTS / sizeof SLOTS[0] == MESSAGE_COUNT * SLOTS_PER_MESSAGE - 1,
              "every message has its three texts and an end slot");

} // namespace

const char* message(uint32_t index, uint32_t language) {
    if (index >= MESSAGE_COUNT) return "";
    if (language >= LANGUAGE_COUNT) language = 0;
    return SLOTS[index * SLOTS_PER_MESSAGE + language];
}
