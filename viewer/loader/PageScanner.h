// The HTML scanner of the site loader: a tolerant walk over the tags of a
// page, one by one, without a document tree. It finds the links a page holds
// (resolved against the page's address or its BASE), the page title, and the
// page's plain text for the node description.
#pragma once

#include "viewer/loader/SiteUrl.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class GraphNode;

// One tag: the text between "<" and ">" without trailing white space. For a
// comment ("<!-- ... -->") the text between "<!--" and "--"; comments never
// give links.
struct HtmlTag {
    std::string_view text;
    bool comment = false;
};

// The first word of a tag text (words end at blank, tab, CR or LF), upper-cased.
std::string TagName(std::string_view tagText);

// The attributes of one tag in tag order: names upper-cased, values as
// written. The tag name itself is the first name found.
class TagAttributes {
public:
    void Parse(std::string_view tagText);
    // The first attribute of that (upper-case) name; found even when empty.
    bool Get(std::string_view name, std::string& value) const;

    size_t Count() const { return names_.size(); }
    const std::string& Name(size_t i) const { return names_[i]; }
    const std::string& Value(size_t i) const { return values_[i]; }

private:
    std::vector<std::string> names_;
    std::vector<std::string> values_;
};

TagAttributes ParseAttributes(std::string_view tagText);

// A read position in a page.
class PageScanner {
public:
    explicit PageScanner(std::string_view page) : page_(page) {}

    // The next tag; false at the end of the page. A "<" without a ">" after
    // it drops the rest of the page, as does an unterminated comment.
    bool NextTag(HtmlTag& tag);
    // The text from the position up to the tag whose name is endName (empty:
    // up to the end of the page), tags dropped. A line break of the source,
    // or a run of them with blanks between, becomes one CR LF; BR and P add
    // one; never two CR LF in a row. The position moves behind the end tag.
    std::string TextUntilTag(std::string_view endName);

    size_t Position() const { return pos_; }

private:
    bool ReadTag(size_t open, HtmlTag& tag);
    void AppendText(std::string_view text, std::string& out) const;

    std::string_view page_;
    size_t pos_ = 0;
};

// The page as plain text with character entities decoded.
std::string PageText(std::string_view page);

// How a followed link was found.
enum class LinkKind {
    Plain,     // A or AREA
    Targeted,  // A or AREA with a non-empty TARGET
    Frame,     // FRAME: does not use up a level
};

// Where the scanner hands the links it finds.
class LinkSink {
public:
    virtual ~LinkSink() = default;
    // A followed link; levels and otherLevels are those of the links of the
    // page (the page's remaining levels minus one).
    virtual void QueueLink(const SiteUrl& url, int32_t levels, int32_t otherLevels,
                           const SiteUrl& referrer, LinkKind kind) = 0;
    // A picture, sound, script or background: loaded, never scanned.
    virtual void QueueEmbedded(const SiteUrl& url) = 0;
};

struct PageScan {
    bool hasTitle = false;
    std::string title;  // as written, entities not decoded
};

// Walks every tag of the page and reports its links. Runs only while levels
// > -2. The title is taken, and EMBED, SOUND, BGSOUND and SCRIPT are
// followed, only for a page with a node; embedded objects only with
// loadPictures.
PageScan ScanPage(std::string_view page, int32_t levels, int32_t otherLevels, const SiteUrl& pageUrl,
                  const GraphNode* pageNode, bool loadPictures, LinkSink& sink);
