#include "proxy/admin/ExchangePages.h"

#include "foundation/Fail.h"
#include "foundation/Option.h"
#include "proxy/admin/AdminGuard.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/CachePages.h"
#include "proxy/admin/ExportTarget.h"
#include "proxy/language/LanguageTable.h"
#include "proxy/options/RelaisOptions.h"

#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace {

// The texts of one direction.
struct Direction {
    uint32_t title;
    uint32_t nothing_marked;
    uint32_t failed;
    uint32_t done;
    uint32_t files_moved;
    const char* reporter;
};

const Direction EXPORT = {MSG_EXPORT_TITLE,  MSG_NOTHING_TO_EXPORT, MSG_EXPORT_FAILED,
                          MSG_EXPORT_DONE,   MSG_FILES_EXPORTED,    "ExchangePages::do_export "};
const Direction IMPORT = {MSG_IMPORT_TITLE,  MSG_NOTHING_TO_IMPORT, MSG_IMPORT_FAILED,
                          MSG_IMPORT_DONE,   MSG_FILES_IMPORTED,    "ExchangePages::do_import "};

// The arguments of the export and import pages, checked by name.
struct Request {
    UrlSelection selection;
    Str directory;
    bool directory_given = false;
    Str all;
    Str url;
};

// Reads alternating names and values; only the names in allowed are taken.
// -1 with a report for an unknown name or a name without its value.
int32_t read_request(const ArgList& arguments, const char* directory_name,
                     const std::set<std::string>& allowed, const char* reporter,
                     Request& request) {
    for (const ArgList::Node* node = arguments.first(); node; node = node->next->next) {
        const Str& name = node->value;
        std::string key(name.data(), name.length());
        if (!allowed.count(key)) {
            fail_new(reporter, "unknown parameter '" + name + "'");
            return -1;
        }
        if (!node->next) {
            fail_new(reporter, "missing value for parameter '" + name + "'");
            return -1;
        }
        const Str& value = node->next->value;
        if (key == "host") {
            // A plain host name stands for its http site.
            request.selection.insert((value.find("://") >= 0 ? value : "http://" + value) + "/");
        } else if (key == "dir") {
            request.selection.insert(value);
        } else if (key == directory_name) {
            request.directory = value;
            request.directory_given = true;
        } else if (key == "all") {
            request.all = value;
        } else if (key == "url") {
            request.url = value;
        }
    }
    return 0;
}

void failure_block(AdminPage& page, const char* before, const char* after) {
    Str failure(fail_take());
    page << before;
    page.escaped(failure);
    page << after;
}

void invalid_parameters(AdminPage& page) {
    failure_block(page, "<H1>Invalid parameters specified</H1>\n<PRE>", "</PRE>");
}

// A second cache on a directory other than the proxy's own one; an import's
// source is only read. Null with a report pending when it cannot be opened.
std::unique_ptr<ExchangeCache> open_exchange(RelaisOptions& options, OptionPath& directory,
                                            bool exporting, const char* reporter) {
    const Str& path = directory.value();
    if (path.empty()) {
        fail_new(reporter, "no directory specified");
        return nullptr;
    }
    if (same_directory(path, options.cachedir.value())) {
        fail_new(reporter, "'" + path + "' is the proxy's own cache directory");
        return nullptr;
    }
    bool recover = false;
    if (exporting && prepare_export_target(path, recover) != 0) return nullptr;
    bool read_only = !exporting;
    auto exchange = std::make_unique<ExchangeCache>(directory, options.language, options.debug,
                                                    options.exportdir, options.importdir,
                                                    recover, read_only);
    if (exchange->failed()) {
        fail_chain(reporter, "unable to open cache in '" + path + "'");
        return nullptr;
    }
    return exchange;
}

// A directory option for a second cache; a trailing "/" is dropped.
std::unique_ptr<OptionPath> directory_option(const Str& text) {
    Str path = text;
    while (path.length() > 1 && path[path.length() - 1] == '/') path = path.substr(0, path.length() - 1);
    return std::make_unique<OptionPath>("cachedir", "", path, 0, false);
}

// Opens the second cache, copies, closes it and writes the result text.
void transfer(AdminPage& page, RelaisOptions& options, Cache& cache, const Request& request,
              const Direction& direction, bool exporting) {
    page.header(page.text(direction.title));
    if (request.selection.empty()) {
        page << "<P>" << page.text(direction.nothing_marked) << "</P>";
        return;
    }
    auto directory = directory_option(request.directory);
    uint32_t copied = 0;
    int32_t result = -1;
    {
        auto other = open_exchange(options, *directory, exporting, direction.reporter);
        if (other) {
            result = exporting ? copy_documents(cache, other->cache(), request.selection, copied)
                               : copy_documents(other->cache(), cache, request.selection, copied);
            if (result != 0) fail_chain(direction.reporter, "copying failed");
        }
        // Closing the second cache writes its cachedb.
    }
    if (result != 0) {
        page << "<H1>" << page.text(direction.failed) << "</H1>";
        Str failure(fail_take());
        log_refusal(options, failure);
        page << "<PRE>";
        page.escaped(failure);
        page << "</PRE>";
        return;
    }
    page << "<H1>" << page.text(direction.done) << "</H1><P>" << copied
         << page.text(direction.files_moved);
    page.escaped(directory->value());
    page << "'.</P>\n";
}

// The directory prefixes of one host's documents, ancestors included,
// starting at the host's first URL.
std::set<Str, StrOrder> host_directories(const Cache& cache, UrlIndex::const_iterator first) {
    std::set<Str, StrOrder> directories;
    Str root = site_of(first->first);
    for (auto it = first; it != cache.urls().end() && site_of(it->first) == root; ++it) {
        const CacheEntry* entry = shown_version(it->second);
        if (!entry) continue;
        Str directory = directory_of(path_of(entry->url));
        for (int32_t slash = directory.find('/'); slash >= 0;
             slash = directory.find('/', uint32_t(slash) + 1))
            directories.insert(root + directory.substr(0, uint32_t(slash) + 1));
    }
    return directories;
}

// One checkbox named dir per directory of the host, indented by depth.
// False (with the page's line) when url is not a URL of the cache.
bool directory_list(AdminPage& page, const Cache& cache, const Str& url) {
    auto first = cache.urls().find(url);
    if (first == cache.urls().end()) {
        page << "<P>invalid URL '";
        page.escaped(url);
        page << "' specified</P>\n";
        return false;
    }
    Str root = site_of(first->first);
    for (const Str& directory : host_directories(cache, first)) {
        Str path = directory.substr(root.length(), directory.length());
        page << "<input type=checkbox name=\"dir\" value=\"";
        page.escaped(directory);
        page << "\"> <TT>";
        for (int32_t slash = path.find('/', 1); slash >= 0;
             slash = path.find('/', uint32_t(slash) + 1))
            page << "&nbsp;&nbsp;";
        page.escaped(path);
        page << "</TT><BR>\n";
    }
    return true;
}

void directory_input(AdminPage& page, const char* name, const Str& value) {
    page << "<input name=\"" << name << "\" type=text size=32 value=\"";
    page.escaped(value);
    page << "\">";
}

void import_hosts_form(AdminPage& page, const Cache& source, const Str& directory,
                       const Request& request) {
    page.form_start("/do_import");
    page.token_input();
    page.header(page.text(MSG_IMPORT_TITLE));
    if (request.url.empty()) {
        page << "<SMALL>" << page.text(MSG_IMPORT_HOSTS_INTRO) << "</SMALL><HR>";
    } else {
        page << "<SMALL>" << page.text(MSG_IMPORT_DIRECTORIES_INTRO) << "</SMALL><HR>";
    }
    page << "<P>" << page.text(MSG_FROM_CACHE_DIRECTORY) << " '";
    page.escaped(directory);
    page << "'</P>\n";
    page.hidden("importdir", directory);
    page << "\n";
    if (request.url.empty()) {
        host_list(page, source, "import2", true,
                  "importdir=" + query_encode(directory) + "&all=0&url=");
    } else {
        directory_list(page, source, request.url);
    }
    page << "<HR><P>";
    page.submit_button(page.text(MSG_IMPORT_BUTTON));
    page << " ";
    page.reset_button(page.text(MSG_UNSELECT_ALL));
    page << "</P>\n</FORM>\n";
}

} // namespace

bool same_directory(const Str& a, const Str& b) {
    struct stat first;
    struct stat second;
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

int32_t copy_documents(Cache& from, Cache& to, const UrlSelection& selection, uint32_t& copied) {
    // What the destination shows of every selected URL before the copy: a
    // document arrived where that changed.
    std::map<Str, uint32_t, StrOrder> before;
    for (const auto& [url, node] : from.urls()) {
        if (!node.current || node.current->headeronly) continue;
        bool selected = false;
        for (const Str& prefix : selection) selected = selected || url.begins_with(prefix);
        if (!selected) continue;
        const UrlNode* there = to.find_url(url);
        const CacheEntry* shown = there ? shown_version(*there) : nullptr;
        before[url] = shown ? shown->id : 0;
    }
    int32_t result = to.import(from, selection, false);
    copied = 0;
    for (const auto& [url, id] : before) {
        const UrlNode* there = to.find_url(url);
        const CacheEntry* shown = there ? shown_version(*there) : nullptr;
        if (shown && shown->id != id) copied++;
    }
    return result;
}

void export_page(AdminPage& page, const RelaisOptions& options, const Cache& cache,
                 const ArgList& arguments) {
    page.form_start("/do_export");
    page.token_input();
    page.header(page.text(MSG_EXPORT_TITLE));
    if (arguments.count() == 0) {
        page << "<SMALL>" << page.text(MSG_EXPORT_HOSTS_INTRO) << "</SMALL><HR>";
        host_list(page, cache, "export", true);
    } else {
        page << "<SMALL>" << page.text(MSG_EXPORT_DIRECTORIES_INTRO) << "</SMALL><HR>";
        if (arguments.count() != 1) {
            page << "<P>invalid URL '";
            page.escaped(arguments.first()->value);
            page << "' specified</P>\n";
        } else {
            directory_list(page, cache, arguments.first()->value);
        }
    }
    page << "<HR><P>";
    page.submit_button(page.text(MSG_EXPORT_BUTTON));
    page << " " << page.text(MSG_TO_DIRECTORY) << "&nbsp ";
    directory_input(page, "exdir", options.exportdir.value());
    page << "<BR>\n";
    page.reset_button(page.text(MSG_UNSELECT_ALL));
    page << "</FORM>\n";
}

void do_export(AdminPage& page, RelaisOptions& options, Cache& cache, const ArgList& arguments) {
    Request request;
    if (read_request(arguments, "exdir", {"host", "dir", "exdir"}, EXPORT.reporter, request) !=
        0) {
        page.header(page.text(EXPORT.title));
        invalid_parameters(page);
        return;
    }
    if (!request.directory_given) request.directory = options.exportdir.value();
    transfer(page, options, cache, request, EXPORT, true);
}

void import_directory_page(AdminPage& page, const RelaisOptions& options) {
    page.header(page.text(MSG_IMPORT_TITLE));
    page << "<SMALL>" << page.text(MSG_IMPORT_DIRECTORY_INTRO) << "</SMALL><HR>";
    page.form_start("/import2");
    page.token_input();
    page << "<TABLE>\n"
         << "<TR><TD><input type=radio name=\"all\" value=1 checked>" << page.text(MSG_ALL_FILES)
         << "\n"
         << "<TR><TD><input type=radio name=\"all\" value=0>" << page.text(MSG_SELECTED_FILES)
         << "\n"
         << "<TR><TD>" << page.text(MSG_FROM_DIRECTORY) << "&nbsp ";
    directory_input(page, "importdir", options.importdir.value());
    page << "\n<TR><TD>";
    page.submit_button(page.text(MSG_IMPORT_BUTTON));
    page << "\n</TABLE>\n</FORM>\n";
}

void import_selection_page(AdminPage& page, RelaisOptions& options, Cache& cache,
                           const ArgList& arguments) {
    Request request;
    const char* reporter = "ExchangePages::import_selection_page ";
    if (read_request(arguments, "importdir", {"importdir", "all", "url"}, reporter, request) !=
        0) {
        page.header(page.text(MSG_IMPORT_TITLE));
        invalid_parameters(page);
        return;
    }
    if (!request.directory_given) request.directory = options.importdir.value();
    if (!(request.all == "1") && !(request.all == "0") && !request.all.empty()) {
        fail_new(reporter, "'" + request.all + "' is invalid for 'all', valid: 1 0");
        page.header(page.text(MSG_IMPORT_TITLE));
        invalid_parameters(page);
        return;
    }
    if (request.all == "1") {
        request.selection.insert(Str()); // every URL begins with the empty prefix
        transfer(page, options, cache, request, IMPORT, false);
        return;
    }
    auto directory = directory_option(request.directory);
    auto source = open_exchange(options, *directory, false, reporter);
    if (!source) {
        page.header(page.text(MSG_IMPORT_TITLE));
        invalid_parameters(page);
        return;
    }
    import_hosts_form(page, source->cache(), directory->value(), request);
}

void do_import(AdminPage& page, RelaisOptions& options, Cache& cache, const ArgList& arguments) {
    Request request;
    if (read_request(arguments, "importdir", {"host", "dir", "importdir"}, IMPORT.reporter,
                     request) != 0) {
        page.header(page.text(IMPORT.title));
        invalid_parameters(page);
        return;
    }
    if (!request.directory_given) request.directory = options.importdir.value();
    transfer(page, options, cache, request, IMPORT, false);
}
