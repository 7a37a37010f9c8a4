#include "proxy/server/WorkerPages.h"

#include "http/HtmlEscape.h"

namespace {

enum PageText : uint32_t {
    TITLE,
    URL_INTRO,
    NOT_CACHED,
    YOU_CAN,
    GO_ONLINE,
    THEN_RETRY,
    NOT_RECEIVED,
    COPY_EXISTS,
    GO_OFFLINE,
    THEN_RELOAD,
    DETAILS,
    PAGE_TEXT_COUNT
};

constexpr uint32_t LANGUAGES = 3;

// One row per text: english, deutsch, dutch.
const char* const TEXTS[PAGE_TEXT_COUNT][LANGUAGES] = {
    {"Error from Quaylo", "Fehlermeldung vom Quaylo", "Foutmelding van Quaylo"},
    {"The URL", "Die URL ", "De URL "},
    {" you requested is not cached, and since this server\nis currently switched to "
     "offline-mode, no attempt\ncan be made to get this URL from the remote server.",
     ", die Sie bestellten, befindet sich nicht im Cache,\nkann aber auch nicht geholt werden, "
     "da der\nOffline-Modus aktiviert ist.",
     "die u opvroeg is niet in de cache aanwezig en\nkan niet opgehaald worden omdat de proxy "
     "in\noffline-stand staat."},
    {"You can ", "Sie koennen den ", "U kunt naar "},
    {"activate the online-mode", "Online-Modus aktivieren", "online overschakelen"},
    {" then try to load the URL again.", " versuchen Sie dann nochmal, die Seite zu laden.",
     " en dan nogmaals proberen de site te laden."},
    {"you requested could not be received from the remote server.",
     "konnte nicht empfangen werden.",
     "die u opvroeg kon niet ontvangen worden van de externe server."},
    {"There's a (possibly outdated) copy of it in the\ncache, if you want to read that copy, ",
     "Es existiert eine (moeglicherweise veraltete) Kopie\nim Cache, wenn Sie diese lesen "
     "moechten, schalten Sie in den ",
     "Er is een (mogelijk verouderde) kopie\nin cache. Als u die kopie wilt bekijken, schakel "
     "dan over naar "},
    {"switch to offline-mode", "Offline-Modus", "de offline-stand"},
    {" first, then you may reload the desired URL.",
     ", und laden Sie die URL anschliessend erneut.", ", en geef de gewenste URL nogmaals op."},
    {"Detailed error message", "Detaillierte Fehlerbeschreibung", "Gedetailleerde foutmelding"},
};

const char* text(PageText which, uint32_t language) {
    return TEXTS[which][language < LANGUAGES ? language : 0];
}

// The opening tag of an anchor; target must already be escaped.
Str link(const Str& target) { return "<A HREF=\"" + target + "\">"; }

// Title, heading and the link to the requested URL, common to both pages.
Str page_start(const Str& uri, uint32_t language) {
    Str escaped = html_escape(uri);
    Str page("<HTML>\n<TITLE>");
    page += text(TITLE, language);
    page += "</TITLE>\n<BODY><H2>";
    page += text(TITLE, language);
    page += ":</H2>\n<P>";
    page += text(URL_INTRO, language);
    page += link(escaped);
    page += escaped;
    page += "</A>";
    return page;
}

} // namespace

Str offline_page(const Str& uri, uint32_t language) {
    Str page = page_start(uri, language);
    page += text(NOT_CACHED, language);
    page += "</P><P>";
    page += text(YOU_CAN, language);
    page += link(admin_url(GO_ONLINE_PATH));
    page += text(GO_ONLINE, language);
    page += "</A>,\n";
    page += text(THEN_RETRY, language);
    page += "</P></BODY></HTML>";
    return page;
}

Str error_page(const Str& uri, bool cached_copy, const char* details, uint32_t language) {
    Str page = page_start(uri, language);
    page += "\n";
    page += text(NOT_RECEIVED, language);
    page += "</P>\n";
    if (cached_copy) {
        page += "<P>";
        page += text(COPY_EXISTS, language);
        page += link(admin_url(GO_OFFLINE_PATH));
        page += text(GO_OFFLINE, language);
        page += "</A>";
        page += text(THEN_RELOAD, language);
        page += "</P>";
    }
    if (details) {
        page += "<HR><H2>";
        page += text(DETAILS, language);
        page += ":</H2>\n<PRE>";
        page += html_escape(Str(details));
        page += "</PRE>\n";
    }
    page += "</BODY></HTML>";
    return page;
}

void set_worker_page(URLAnswer& answer, const Str& page) {
    answer = URLAnswer();
    answer.version = "http/1.0";
    answer.errorcode = WORKER_PAGE_STATUS;
    answer.reason = "Not Implemented";
    answer.content_type = "text/html";
    answer.content_length = page.length();
    answer.body = page;
    answer.invalid = 0;
}
