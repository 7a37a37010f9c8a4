#include "viewer/loader/PageScanner.h"

#include "viewer/loader/Entities.h"

#include <cctype>
#include <optional>

namespace {

constexpr char kLineBreak[] = "\r\n";

bool IsWordSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsLetterOrDigit(char c) {
    return IsLetter(c) || (c >= '0' && c <= '9');
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool EndsWithLineBreak(const std::string& text) {
    return text.size() >= 2 && text.compare(text.size() - 2, 2, kLineBreak) == 0;
}

// Finds the "--" that ends a comment: followed, after optional white space, by ">".
// Returns the position of that "--" and sets close to the ">".
size_t CommentEnd(std::string_view page, size_t from, size_t& close) {
    size_t dashes = page.find("--", from);
    while (dashes != std::string_view::npos) {
        size_t at = dashes + 2;
        while (at < page.size() && std::isspace(static_cast<unsigned char>(page[at]))) at++;
        if (at < page.size() && page[at] == '>') {
            close = at;
            return dashes;
        }
        dashes = page.find("--", dashes + 1);
    }
    return std::string_view::npos;
}

}  // namespace

std::string TagName(std::string_view tagText) {
    size_t first = 0;
    while (first < tagText.size() && IsWordSpace(tagText[first])) first++;
    size_t end = first;
    while (end < tagText.size() && !IsWordSpace(tagText[end])) end++;
    return Upper(tagText.substr(first, end - first));
}

void TagAttributes::Parse(std::string_view text) {
    names_.clear();
    values_.clear();
    size_t at = 0;
    const size_t n = text.size();
    auto skipSpace = [&] {
        while (at < n && IsWordSpace(text[at])) at++;
    };
    for (;;) {
        skipSpace();
        if (at >= n) return;
        if (!IsLetter(text[at])) {
            while (at < n && !IsWordSpace(text[at])) at++;
            continue;
        }
        size_t nameStart = at;
        while (at < n && IsLetterOrDigit(text[at])) at++;
        std::string name = Upper(text.substr(nameStart, at - nameStart));
        if (at >= n) return;  // a name that ends the tag is dropped

        skipSpace();
        if (at >= n || text[at] != '=') {
            names_.push_back(std::move(name));
            values_.emplace_back();
            if (at >= n) return;
            continue;
        }
        at++;  // "="
        skipSpace();
        if (at >= n) return;

        if (text[at] == '"') {
            at++;
            const bool src = name == "SRC";
            if (src) skipSpace();
            size_t valueStart = at;
            while (at < n && text[at] != '"' && !(src && IsWordSpace(text[at]))) at++;
            if (at >= n) return;  // no closing character: nothing stored
            names_.push_back(std::move(name));
            values_.emplace_back(text.substr(valueStart, at - valueStart));
            at++;  // behind the closing character
        } else {
            size_t valueStart = at;
            while (at < n && !IsWordSpace(text[at])) at++;
            names_.push_back(std::move(name));
            values_.emplace_back(text.substr(valueStart, at - valueStart));
        }
    }
}

bool TagAttributes::Get(std::string_view name, std::string& value) const {
    for (size_t i = 0; i < names_.size(); i++)
        if (names_[i] == name) {
            value = values_[i];
            return true;
        }
    return false;
}

TagAttributes ParseAttributes(std::string_view tagText) {
    TagAttributes attributes;
    attributes.Parse(tagText);
    return attributes;
}

bool PageScanner::ReadTag(size_t open, HtmlTag& tag) {
    if (page_.compare(open, 4, "<!--") == 0) {
        size_t close = 0;
        size_t end = CommentEnd(page_, open + 4, close);
        if (end == std::string_view::npos) {
            pos_ = page_.size();
            return false;
        }
        tag.text = page_.substr(open + 4, end - (open + 4));
        tag.comment = true;
        pos_ = close + 1;
        return true;
    }
    size_t close = page_.find('>', open + 1);
    if (close == std::string_view::npos) {
        pos_ = page_.size();
        return false;
    }
    tag.text = TrimEnd(page_.substr(open + 1, close - open - 1));
    tag.comment = false;
    pos_ = close + 1;
    return true;
}

bool PageScanner::NextTag(HtmlTag& tag) {
    if (pos_ >= page_.size()) return false;
    size_t open = page_.find('<', pos_);
    if (open == std::string_view::npos) {
        pos_ = page_.size();
        return false;
    }
    return ReadTag(open, tag);
}

void PageScanner::AppendText(std::string_view text, std::string& out) const {
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c != '\r' && c != '\n') {
            out += c;
            i++;
            continue;
        }
        // A run of line breaks with blanks between them; blanks behind the
        // last break stay text.
        size_t lastBreak = i;
        for (size_t j = i; j < text.size(); j++) {
            char d = text[j];
            if (d == '\r' || d == '\n')
                lastBreak = j;
            else if (d != ' ' && d != '\t')
                break;
        }
        if (!EndsWithLineBreak(out)) out += kLineBreak;
        i = lastBreak + 1;
    }
}

std::string PageScanner::TextUntilTag(std::string_view endName) {
    std::string text;
    while (pos_ < page_.size()) {
        size_t open = page_.find('<', pos_);
        if (open == std::string_view::npos) {
            AppendText(page_.substr(pos_), text);
            pos_ = page_.size();
            break;
        }
        AppendText(page_.substr(pos_, open - pos_), text);
        HtmlTag tag;
        if (!ReadTag(open, tag)) break;
        if (tag.comment) continue;
        std::string name = TagName(tag.text);
        if (!endName.empty() && name == endName) break;
        if ((name == "BR" || name == "P") && !EndsWithLineBreak(text)) text += kLineBreak;
    }
    return text;
}

std::string PageText(std::string_view page) {
    PageScanner scanner(page);
    return DecodeEntities(scanner.TextUntilTag(""));
}

namespace {

// The state of one page walk.
class PageWalk {
public:
    PageWalk(int32_t levels, int32_t otherLevels, const SiteUrl& pageUrl, const GraphNode* pageNode,
             bool loadPictures, LinkSink& sink)
        : levels_(levels), otherLevels_(otherLevels), pageUrl_(pageUrl), pageNode_(pageNode),
          loadPictures_(loadPictures), sink_(sink) {}

    void Tag(PageScanner& scanner, const HtmlTag& tag, PageScan& scan);

private:
    SiteUrl Resolve(const std::string& reference) const {
        return SiteUrl(base_ ? &*base_ : &pageUrl_, reference);
    }
    void Link(const TagAttributes& attributes, const char* name, LinkKind kind);
    void Embedded(const TagAttributes& attributes, const char* name);

    int32_t levels_;
    int32_t otherLevels_;
    const SiteUrl& pageUrl_;
    const GraphNode* pageNode_;
    bool loadPictures_;
    LinkSink& sink_;
    std::optional<SiteUrl> base_;
};

void PageWalk::Link(const TagAttributes& attributes, const char* name, LinkKind kind) {
    std::string value;
    if (!attributes.Get(name, value)) return;
    sink_.QueueLink(Resolve(value), levels_, otherLevels_, pageUrl_, kind);
}

void PageWalk::Embedded(const TagAttributes& attributes, const char* name) {
    std::string value;
    if (attributes.Get(name, value)) sink_.QueueEmbedded(Resolve(value));
}

void PageWalk::Tag(PageScanner& scanner, const HtmlTag& tag, PageScan& scan) {
    if (tag.comment) return;
    const std::string name = TagName(tag.text);
    if (name == "TITLE") {
        if (pageNode_ == nullptr) return;
        std::string title = scanner.TextUntilTag("/TITLE");
        if (!scan.hasTitle) {
            scan.hasTitle = true;
            scan.title = std::move(title);
        }
        return;
    }
    if (name == "BASE") {
        std::string value;
        if (ParseAttributes(tag.text).Get("HREF", value)) base_.emplace(&pageUrl_, value);
        return;
    }
    if (name == "A" || name == "AREA") {
        TagAttributes attributes = ParseAttributes(tag.text);
        std::string target;
        bool targeted = attributes.Get("TARGET", target) && !target.empty();
        Link(attributes, "HREF", targeted ? LinkKind::Targeted : LinkKind::Plain);
        return;
    }
    if (name == "FRAME") {
        Link(ParseAttributes(tag.text), "SRC", LinkKind::Frame);
        return;
    }
    if (!loadPictures_) return;
    if (name == "EMBED" || name == "SOUND" || name == "BGSOUND" || name == "SCRIPT") {
        if (pageNode_ != nullptr) Embedded(ParseAttributes(tag.text), "SRC");
    } else if (name == "INPUT") {
        TagAttributes attributes = ParseAttributes(tag.text);
        std::string type;
        if (attributes.Get("TYPE", type) && Upper(type) == "IMAGE") Embedded(attributes, "SRC");
    } else if (name == "BODY") {
        Embedded(ParseAttributes(tag.text), "BACKGROUND");
    } else if (name == "IMG") {
        TagAttributes attributes = ParseAttributes(tag.text);
        for (const char* source : {"SRC", "LOWSRC", "DYNSRC", "VRML"}) Embedded(attributes, source);
    }
}

}  // namespace

PageScan ScanPage(std::string_view page, int32_t levels, int32_t otherLevels, const SiteUrl& pageUrl,
                  const GraphNode* pageNode, bool loadPictures, LinkSink& sink) {
    PageScan scan;
    if (levels <= -2) return scan;
    PageWalk walk(levels, otherLevels, pageUrl, pageNode, loadPictures, sink);
    PageScanner scanner(page);
    HtmlTag tag;
    while (scanner.NextTag(tag)) walk.Tag(scanner, tag, scan);
    return scan;
}
