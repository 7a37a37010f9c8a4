// SiteGenerator: a deterministic web site for crawler tests and benchmarks,
// written as files into a directory that an OriginServer serves.
//
// The site is a tree of directories. Every directory has an index page, a
// number of pages and a number of sub-directories; the index links its pages
// and sub-directories in every form a crawler must resolve (relative, "./",
// "/", with fragments, twice, through a BASE tag, and as "sub" that answers
// 302 with "sub/"); pages link back with "./", "../" and "/". Besides there
// are a FRAMESET page, links that answer 404, a zip file, mailto and ftp
// links, a link to another host name for the same server, a picture shared
// by every page and one per directory, titles with entities and tags in
// upper and lower case.
//
// Every link either goes exactly one level deeper or back to a page that a
// crawler has met before it reads the link, so the pages a crawler loads
// with a level limit do not depend on the order in which answers arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class OriginServer;

struct SiteShape {
    size_t pages = 40;          // HTML pages wanted (roughly; whole directories are made)
    size_t pagesPerDirectory = 4;
    size_t subdirectories = 3;  // per directory
    uint32_t seed = 1;          // varies the order of link forms
    std::string scheme = "http"; // of base and otherBase ("https" behind a TLS front)
};

struct SitePage {
    std::string path;  // URL path, as the crawler resolves it ("/", "/d1/", "/d1/p2.html")
    int depth = 0;     // levels from the start page (a frame uses up none)
};

class GeneratedSite {
public:
    // "http://127.0.0.1:<port>" (or https); the start page is base + "/".
    std::string base;
    // "http://localhost:<port>": the same server under another host name.
    std::string otherBase;

    std::vector<SitePage> pages;  // every HTML page the site serves with 200
    std::map<std::string, std::string> redirects;  // path -> Location (302)
    std::string zipPath;               // answers application/zip
    std::string sharedPicture;         // on every page
    std::string framesetPath;
    std::string otherHostPage;         // path of the page linked under otherBase
    std::string mailtoUrl;
    std::string ftpUrl;

    std::string StartUrl() const { return base + "/"; }
    // Paths of the HTML pages a crawl from the start page loads when it follows
    // `levels` levels of links (negative: no limit), staying on the start host.
    std::vector<std::string> PathsWithinLevels(int levels) const;
    int MaxDepth() const;

    // Scripted answers the files cannot give: the redirects and the zip type.
    void ApplyTo(OriginServer& server) const;
};

// Writes the site below `root` (which must exist) for a server at `port`.
GeneratedSite GenerateSite(const std::string& root, uint16_t port, const SiteShape& shape = SiteShape());
