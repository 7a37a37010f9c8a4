// The export and import pages: choosing hosts or directories, and carrying
// out the copy between the proxy's cache and a second cache directory with
// Cache::import. The second cache is an ExchangeCache (Cache.h): opened with
// recovery for an export, without for an import, and closed (writing its
// cachedb) before the page is finished.
//
// A host is selected as "http://" + host + "/" (an https site by its name,
// "https://a.com", + "/"), so that choosing the host a.com does not also
// carry a.com.example or a.com:8080 along; a directory as its URL prefix.
#pragma once

#include "foundation/ArgList.h"
#include "foundation/Str.h"
#include "proxy/cache/Cache.h"

#include <cstdint>

class AdminPage;
class RelaisOptions;

// "/export": the hosts with checkboxes, or with the first URL of a host,
// that host's directories.
void export_page(AdminPage& page, const RelaisOptions& options, const Cache& cache,
                 const ArgList& arguments);
// "/do_export": copies the selection into the export directory.
void do_export(AdminPage& page, RelaisOptions& options, Cache& cache, const ArgList& arguments);
// "/import1": asks for the directory to import from.
void import_directory_page(AdminPage& page, const RelaisOptions& options);
// "/import2": with all=1 imports everything at once; otherwise the hosts of
// the directory's cache (or, with url, one host's directories) to choose from.
void import_selection_page(AdminPage& page, RelaisOptions& options, Cache& cache,
                           const ArgList& arguments);
// "/do_import": copies the selection from the import directory.
void do_import(AdminPage& page, RelaisOptions& options, Cache& cache, const ArgList& arguments);

// Copies the selected documents of from into to and counts the documents
// that arrived. 0, or -1 with a report pending.
int32_t copy_documents(Cache& from, Cache& to, const UrlSelection& selection, uint32_t& copied);

// True when both paths name one existing directory.
bool same_directory(const Str& a, const Str& b);
