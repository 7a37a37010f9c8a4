#include "testsupport/SiteGenerator.h"

#include "testsupport/OriginServer.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The bytes of the zip file: its signature, then nothing of use.
const std::string kZipBytes = std::string("PK\x03\x04") + " not really a zip";

// How an index page links one of its sub-directories.
enum class SubLink { Relative, Rooted, Redirect, Base, Count };

struct Directory {
    std::string path;  // "/" or "/d3/d7/"
    int depth = 0;     // depth of its index page
    size_t number = 0;
    std::vector<std::string> pages;  // file names in it
    std::vector<size_t> subdirectories;
    std::vector<SubLink> forms;      // one per sub-directory
};

std::string Title(const std::string& what, size_t number) {
    // Entities a crawler decodes for the node description.
    return what + " " + std::to_string(number) + " &amp; &Uuml;bersicht &lt;" + std::to_string(number) + "&gt;";
}

class Writer {
public:
    Writer(const std::string& root, uint16_t port, const SiteShape& shape) : root_(root), shape_(shape) {
        site_.base = shape.scheme + "://127.0.0.1:" + std::to_string(port);
        site_.otherBase = shape.scheme + "://localhost:" + std::to_string(port);
    }

    GeneratedSite Run() {
        site_.sharedPicture = "/img/shared.gif";
        site_.zipPath = "/files/archive.zip";
        site_.framesetPath = "/frames.html";
        site_.otherHostPage = "/other/leaf.html";
        site_.mailtoUrl = "mailto:webmaster@example.org";
        site_.ftpUrl = "ftp://127.0.0.1/pub/readme.txt";
        Plan();
        for (const Directory& dir : dirs_) {
            WriteIndex(dir);
            for (size_t i = 0; i < dir.pages.size(); i++) WritePage(dir, i);
        }
        WriteFrames();
        WriteFile(site_.sharedPicture, "GIF89a shared");
        WriteFile(site_.zipPath, kZipBytes);
        WriteFile(site_.otherHostPage, "<html><title>Elsewhere</title><a href=\"/\">home</a></html>\n");
        return site_;
    }

private:
    void AddPage(const std::string& path, int depth) { site_.pages.push_back({path, depth}); }
    // An HTML page the site serves at path (its file at the same path).
    void WriteHtml(const std::string& path, int depth, const std::string& html) {
        AddPage(path, depth);
        WriteFile(path, html);
    }

    void Plan() {
        dirs_.push_back(Directory{"/", 0, 0, {}, {}, {}});
        size_t made = 1;  // the start page
        std::deque<size_t> open{0};
        size_t form = shape_.seed;
        while (!open.empty() && made < shape_.pages) {
            size_t current = open.front();
            open.pop_front();
            for (size_t i = 0; i < shape_.pagesPerDirectory && made < shape_.pages; i++, made++)
                dirs_[current].pages.push_back("p" + std::to_string(i + 1) + ".html");
            for (size_t i = 0; i < shape_.subdirectories && made < shape_.pages; i++, made++) {
                Directory sub;
                sub.number = dirs_.size();
                sub.path = dirs_[current].path + "d" + std::to_string(sub.number) + "/";
                sub.depth = dirs_[current].depth + 1;
                dirs_[current].subdirectories.push_back(sub.number);
                dirs_[current].forms.push_back(static_cast<SubLink>(form++ % static_cast<size_t>(SubLink::Count)));
                open.push_back(sub.number);
                dirs_.push_back(std::move(sub));
            }
        }
    }

    void WriteFile(const std::string& path, const std::string& content) {
        fs::path file = fs::path(root_) / path.substr(1);
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << content;
    }

    void WriteIndex(const Directory& dir) {
        AddPage(dir.path, dir.depth);
        std::string html = "<HTML><HEAD><TITLE>" + Title("Directory", dir.number) + "</TITLE></HEAD>\n";
        html += "<BODY BACKGROUND=\"pic.gif\">\n<IMG SRC=\"" + site_.sharedPicture + "\" ALT=\"logo\">\n";
        for (size_t i = 0; i < dir.pages.size(); i++) {
            const std::string& page = dir.pages[i];
            // Every page twice: plain, and as "./" with a fragment or rooted.
            html += "<A HREF=\"" + page + "\">" + page + "</A>\n";
            if (i % 2 == 0)
                html += "<A HREF=\"./" + page + "#top\">again</A>\n";
            else
                html += "<A HREF=\"" + dir.path + page + "\">again</A>\n";
        }
        std::string based;
        for (size_t i = 0; i < dir.subdirectories.size(); i++) {
            const Directory& sub = dirs_[dir.subdirectories[i]];
            std::string name = "d" + std::to_string(sub.number);
            switch (dir.forms[i]) {
            case SubLink::Relative:
                html += "<A HREF=\"" + name + "/\">" + name + "</A>\n";
                break;
            case SubLink::Rooted:
                html += "<A HREF=\"" + sub.path + "\">" + name + "</A>\n";
                break;
            case SubLink::Redirect: {
                std::string bare = sub.path.substr(0, sub.path.size() - 1);
                site_.redirects[bare] = site_.base + sub.path;
                html += "<A HREF=\"" + name + "\">" + name + "</A>\n";
                break;
            }
            case SubLink::Base:
            case SubLink::Count:
                // A BASE changes every later link, so these come last.
                based += "<BASE HREF=\"" + name + "/\">\n<A HREF=\"./\">" + name + "</A>\n";
                break;
            }
        }
        if (dir.path == "/") WriteRootExtras(html);
        else html += "<A HREF=\"../\">up</A>\n";
        html += based;
        html += "</BODY></HTML>\n";
        WriteFile(dir.path + "index.html", html);
        WriteFile(dir.path + "pic.gif", "GIF89a directory " + std::to_string(dir.number));
    }

    void WritePage(const Directory& dir, size_t index) {
        const std::string& name = dir.pages[index];
        const std::string& sibling = dir.pages[(index + 1) % dir.pages.size()];
        std::string html = "<html><head><title>" + Title("Page", dir.number * 100 + index) + "</title></head>\n";
        html += "<body>\n<p>Text of page " + name + " in " + dir.path + "\n";
        html += "<img src=\"" + site_.sharedPicture + "\"> <img src=\"pic.gif\">\n";
        html += "<a href=\"#top\">top</a> <a href=\"" + sibling + "\">next</a>\n";
        html += "<a href=\"./\">index</a> <a href=\"/\">home</a>\n";
        if (index == 0) html += "<a href=\"gone-" + std::to_string(dir.number) + ".html\">gone</a>\n";
        html += "<!-- <a href=\"commented-out.html\"> -->\n";
        html += "</body></html>\n";
        WriteHtml(dir.path + name, dir.depth + 1, html);
    }

    void WriteRootExtras(std::string& html) {
        html += "<A HREF=\"" + site_.framesetPath + "\">frames</A>\n";
        html += "<A HREF=\"" + site_.zipPath.substr(1) + "\">archive</A>\n";
        html += "<A HREF=\"missing-root.html\">missing</A>\n";
        html += "<A HREF=\"" + site_.mailtoUrl + "\">mail</A>\n";
        html += "<A HREF=\"" + site_.ftpUrl + "\">ftp</A>\n";
        html += "<A HREF=\"" + site_.otherBase + site_.otherHostPage + "\">elsewhere</A>\n";
    }

    void WriteFrames() {
        // A frame does not use up a level: its sources count as deep as the frameset.
        WriteHtml(site_.framesetPath, 1, "<HTML><HEAD><TITLE>Frames</TITLE></HEAD>\n<FRAMESET COLS=\"50%,50%\">\n"
                                         "<FRAME SRC=\"frames/left.html\">\n<frame src=\"frames/right.html\">\n"
                                         "</FRAMESET></HTML>\n");
        WriteHtml("/frames/left.html", 1, "<html><a href=\"more.html\">more</a></html>\n");
        WriteHtml("/frames/right.html", 1, "<html><a href=\"../\">home</a></html>\n");
        WriteHtml("/frames/more.html", 2, "<html><a href=\"left.html\">back</a></html>\n");
    }

    std::string root_;
    SiteShape shape_;
    GeneratedSite site_;
    std::vector<Directory> dirs_;
};

}  // namespace

std::vector<std::string> GeneratedSite::PathsWithinLevels(int levels) const {
    std::vector<std::string> paths;
    for (const SitePage& page : pages)
        if (levels < 0 || page.depth <= levels) paths.push_back(page.path);
    return paths;
}

int GeneratedSite::MaxDepth() const {
    int depth = 0;
    for (const SitePage& page : pages) depth = std::max(depth, page.depth);
    return depth;
}

void GeneratedSite::ApplyTo(OriginServer& server) const {
    for (const auto& [path, location] : redirects) server.set(path, OriginServer::redirect(location, 302));
    server.set(zipPath, OriginServer::document(kZipBytes, "application/zip"));
}

GeneratedSite GenerateSite(const std::string& root, uint16_t port, const SiteShape& shape) {
    return Writer(root, port, shape).Run();
}
