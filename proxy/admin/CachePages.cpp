#include "proxy/admin/CachePages.h"

#include "foundation/BufStream.h"
#include "foundation/Fail.h"
#include "foundation/LocalAddresses.h"
#include "foundation/FileStream.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/language/LanguageTable.h"
#include "proxy/cache/Cache.h"

#include <cstring>

namespace {

constexpr char PLAIN_SCHEME[] = "http://";

// Where the host starts: after the scheme's "://" (0 when there is none).
uint32_t host_start(const Str& url) {
    int32_t mark = url.find("://");
    return mark < 0 ? 0 : uint32_t(mark) + 3;
}

void row(AdminPage& page, const char* label) { page << "<TR><TD>" << label << "<TD>"; }

uint32_t depth_of(const Str& directory) {
    uint32_t slashes = 0;
    for (uint32_t i = 0; i < directory.length(); i++)
        if (directory[i] == '/') slashes++;
    return slashes;
}

// The documents of one host, from its first URL on, grouped by directory:
// a directory line whenever the directory changes, then each document
// indented below it.
void host_documents(AdminPage& page, const Cache& cache, UrlIndex::const_iterator first) {
    Str site = site_of(first->first);
    page << "<H2>" << page.text(MSG_CACHED_URLS_FOR_HOST) << " ";
    page.link(site, site);
    page << ":</H2>\n";
    Str previous_directory;
    bool started = false;
    for (auto it = first; it != cache.urls().end(); ++it) {
        if (site_of(it->first) != site) break;
        const CacheEntry* entry = listed_version(it->second, page.viewer());
        if (!entry) continue;
        Str path = path_of(entry->url);
        Str directory = directory_of(path);
        if (!started || directory != previous_directory) {
            page << "<BR><TT><B>";
            page.escaped(directory);
            page << "</B></TT><BR>\n";
            previous_directory = directory;
            started = true;
        }
        page.admin_link("/details?" + Str::from_ulong(entry->id), "Details");
        page << "<TT>";
        for (uint32_t i = 0; i < depth_of(directory); i++) page << "&nbsp;&nbsp;";
        page.link(entry->url, path);
        page << "</TT><BR>\n";
    }
}

void date_row(AdminPage& page, uint32_t label, const GMTdate& date) {
    if (!date.specified()) return;
    row(page, page.text(label));
    page << date.to_Str() << "\n";
}

void answer_rows(AdminPage& page, const URLAnswer& answer) {
    if (answer.errorcode != 200) {
        row(page, page.text(MSG_ERROR_MESSAGE));
        page.escaped(answer.reason);
        page << "\n";
    }
    row(page, "HTTP Version: ");
    page.escaped(answer.version);
    page << "\n";
    row(page, "Content-Type:");
    if (answer.content_type.empty())
        page << page.text(MSG_UNKNOWN);
    else
        page.escaped(answer.content_type);
    page << "\n";
    row(page, "Content-Length:");
    if (answer.content_length == 0)
        page << page.text(MSG_UNKNOWN);
    else
        page << answer.content_length;
    page << "\n";
    date_row(page, MSG_LAST_MODIFIED, answer.last_modified);
    date_row(page, MSG_EXPIRES, answer.expires);
}

} // namespace

void statistics_page(AdminPage& page, const ServerFigures& server, const Cache& cache) {
    page.header(page.text(MSG_STATISTICS));
    page << "<TABLE>";
    row(page, page.text(MSG_LISTENING_PORT));
    page << server.port << "\n";
    row(page, page.text(MSG_CLIENT_CONNECTIONS));
    page << server.connections << "\n";
    row(page, page.text(MSG_CACHE_DIRECTORY));
    page.escaped(server.cachedir);
    page << "\n";
    row(page, page.text(MSG_CACHED_FILES));
    page << cache.current().count() << "\n";
    row(page, page.text(MSG_FILES_TO_UPDATE));
    page << cache.waiting().count() << "\n";
    row(page, page.text(MSG_INCOMING_FILES));
    page << cache.writing().count() << "\n";
    row(page, page.text(MSG_TOTAL_SIZE));
    page << cache.totalbytes() / 1024 << "kB\n";
    row(page, page.text(MSG_ACCESSES));
    page << cache.accesses() << "\n";
    page << "</TABLE>";
}

const CacheEntry* shown_version(const UrlNode& node) {
    return node.waiting ? node.waiting : node.current;
}

const CacheEntry* listed_version(const UrlNode& node, uint32_t viewer) {
    const CacheEntry* entry = shown_version(node);
    return entry && entry->visible_to(viewer) ? entry : nullptr;
}

Str host_of(const Str& url) {
    Str rest = url.substr(host_start(url), url.length());
    int32_t slash = rest.find('/');
    return slash < 0 ? rest : rest.substr(0, uint32_t(slash));
}

Str site_of(const Str& url) {
    int32_t slash = url.find('/', host_start(url));
    return slash < 0 ? url : url.substr(0, uint32_t(slash));
}

Str site_name(const Str& site) {
    return site.begins_with(PLAIN_SCHEME) ? host_of(site) : site;
}

Str path_of(const Str& url) {
    int32_t slash = url.find('/', host_start(url));
    return slash < 0 ? Str("/") : url.substr(uint32_t(slash), url.length());
}

Str directory_of(const Str& path) {
    int32_t query = path.find('?');
    Str plain = query < 0 ? path : path.substr(0, uint32_t(query));
    int32_t slash = plain.rfind('/');
    return slash < 0 ? Str("/") : plain.substr(0, uint32_t(slash) + 1);
}

void host_list(AdminPage& page, const Cache& cache, const Str& target, bool checkboxes,
               const Str& query_prefix) {
    if (cache.urls().empty()) {
        page << "<P>" << page.text(MSG_NO_ENTRIES) << "</P>";
        return;
    }
    Str previous;
    bool started = false;
    for (const auto& [url, node] : cache.urls()) {
        const CacheEntry* entry = listed_version(node, page.viewer());
        if (!entry) continue;
        Str host = site_name(site_of(entry->url));
        if (started && host == previous) continue;
        started = true;
        previous = host;
        if (checkboxes) {
            page << "<input type=checkbox name=\"host\" value=\"";
            page.escaped(host);
            page << "\"> ";
        }
        page << anchor(admin_url("/" + target + "?" + query_prefix + query_encode(entry->url)));
        page.escaped(host);
        page << "</A><BR>\n";
    }
}

void inventory_page(AdminPage& page, const Cache& cache, const ArgList& arguments) {
    page.header(page.text(MSG_INVENTORY));
    if (arguments.count() == 0) {
        page << "<SMALL>" << page.text(MSG_INVENTORY_INTRO) << "</SMALL><HR>";
        host_list(page, cache, "inventory", false);
        return;
    }
    const Str& url = arguments.first()->value;
    auto first = cache.urls().find(url);
    if (arguments.count() != 1 || first == cache.urls().end()) {
        page << "<P>invalid URL '";
        page.escaped(url);
        page << "' specified</P>\n";
        return;
    }
    page << "<SMALL>" << page.text(MSG_HOST_DOCUMENTS_INTRO) << "</SMALL><HR>";
    host_documents(page, cache, first);
}

void inventory_text(AdminPage& page, const Cache& cache) {
    page.set_form(AdminPage::RAW);
    page.set_content_type(PLAIN_TYPE);
    for (const auto& [url, node] : cache.urls()) {
        const CacheEntry* entry = listed_version(node, page.viewer());
        if (!entry || entry->headeronly) continue;
        page << entry->url << "\n";
    }
}

void details_page(AdminPage& page, const Cache& cache, const ArgList& arguments) {
    page.header(page.text(MSG_ENTRY_DETAILS));
    if (arguments.count() == 0) {
        page << "<P>Error: Need ID argument</P>\n";
        return;
    }
    uint32_t id = arguments.first()->value.to_ulong();
    const CacheEntry* entry = id == 0 ? nullptr : cache.find_id(id);
    if (!entry || !entry->visible_to(page.viewer())) {
        page << "<P>Error: cache-entry with id '" << id << "' doesn't exist</P>";
        return;
    }
    page << "<TABLE>\n";
    row(page, "URL");
    page.link(entry->url, entry->url);
    page << "\n";
    row(page, page.text(MSG_LAST_UPDATE));
    page << entry->date.to_Str() << "\n";
    row(page, page.text(MSG_ID_NUMBER));
    page << entry->id << "\n";
    row(page, page.text(MSG_BYTES_CACHED));
    page << entry->bytes << "\n";
    if (entry->errorcode != 200) {
        row(page, page.text(MSG_ERROR_CODE));
        page << entry->errorcode << "\n";
    }
    URLAnswer answer;
    if (!read_cache_head(cache.file_name(entry->id), answer)) {
        page << "</TABLE>\n<P>" << page.text(MSG_CANNOT_OPEN_CACHE_FILE) << "</P>\n";
        return;
    }
    answer_rows(page, answer);
    page << "</TABLE>\n";
}

void users_page(AdminPage& page, const Cache& cache) {
    page << "<CENTER><H1>Quaylo</H1><H1>Users</H1><HR></CENTER>\n"
         << "<TABLE BORDER>"
         << "<TR><TD>IP address<TD>last connect\n";
    for (const auto& [address, user] : cache.users()) {
        page << "<TR><TD>" << dotted_address(user.inetaddr) << "<TD>"
             << user.lastconnect.to_Str() << "\n";
    }
    page << "</TABLE>";
}

void search_form(AdminPage& page, const Str& phrase) {
    page.header(page.text(MSG_TEXT_RETRIEVAL));
    page << "<SMALL>\n" << page.text(MSG_SEARCH_INTRO) << "</SMALL><HR>";
    page.form_start("/search");
    page << page.text(MSG_SEARCH_PHRASE) << "<input name=\"phrase\" type=text size=32 value=\"";
    page.escaped(phrase);
    page << "\"><BR>";
    page.submit_button(page.text(MSG_START_SEARCH));
    page << " ";
    page.reset_button(page.text(MSG_CLEAR_ENTRY));
    page << "</FORM>\n";
}
