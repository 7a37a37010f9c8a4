#include "proxy/admin/SearchResults.h"

#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "foundation/MemoryReadable.h"
#include "foundation/ObjectStream.h"
#include "http/URLAnswer.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/CachePages.h"
#include "proxy/language/LanguageTable.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t READ_BLOCK = 65536;
constexpr uint32_t SKIP_TABLE_SIZE = 256;

// One piece of the phrase and its skip table, built once per search.
struct Piece {
    Str text;
    signed char table[SKIP_TABLE_SIZE];
};

// Reads one cache file at a time into a buffer that is reused for the
// next, so a search allocates only when a file is larger than all before.
class CacheFileReader {
public:
    // Opens path and reads up to the first block. False when the file
    // cannot be opened or read, or is empty.
    bool start(const Str& path) {
        file_ = std::make_unique<IFileStream>(path);
        if (file_->open_failed()) return false;
        struct stat status;
        if (::fstat(file_->fd(), &status) != 0 || status.st_size <= 0 ||
            status.st_size >= INT32_MAX)
            return false;
        size_ = uint32_t(status.st_size);
        if (buffer_.init(size_) != 0) return false;
        filled_ = 0;
        return fill(READ_BLOCK) && filled_ > 0;
    }
    // Reads the rest of the file.
    bool finish() { return fill(size_); }

    // The answer head and the stored URL at the start of the file; false
    // when they are not complete in what was read so far.
    bool head(URLAnswer& answer, uint32_t& body_start) {
        MemoryReadable memory(buffer_.data(), filled_);
        BinarySource source(memory);
        source >> answer >> url_;
        if (source.error()) return false;
        body_start = memory.position();
        return true;
    }
    // The URL stored after the answer head, once head() succeeded.
    const Str& url() const { return url_; }

    // The bytes read so far, ending in a NUL after them.
    const Str& bytes() {
        buffer_.set_length(filled_);
        return buffer_;
    }
    uint32_t filled() const { return filled_; }
    uint32_t size() const { return size_; }

private:
    // Reads in blocks of 64 KiB until limit bytes are in (or the file ends).
    bool fill(uint32_t limit) {
        if (limit > size_) limit = size_;
        while (filled_ < limit) {
            uint32_t want = limit - filled_ < READ_BLOCK ? limit - filled_ : READ_BLOCK;
            ssize_t n = ::read(file_->fd(), buffer_.buffer() + filled_, want);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) {
                size_ = filled_; // the file got shorter meanwhile
                break;
            }
            filled_ += uint32_t(n);
        }
        return true;
    }

    std::unique_ptr<IFileStream> file_;
    Str buffer_;
    Str url_;
    uint32_t size_ = 0;
    uint32_t filled_ = 0;
};

bool is_text(const URLAnswer& answer) {
    return !answer.invalid && answer.content_type.begins_with("text/");
}

// The body of a text document, read into the reader; false for any file
// that is not one.
bool read_text_document(CacheFileReader& reader, const Str& path, uint32_t& body_start) {
    if (!reader.start(path)) return false;
    URLAnswer answer;
    if (!reader.head(answer, body_start)) {
        // A head longer than the first block: read everything and retry.
        if (reader.filled() == reader.size() || !reader.finish()) return false;
        answer = URLAnswer();
        if (!reader.head(answer, body_start)) return false;
    }
    return is_text(answer) && reader.finish();
}

bool contains_all(const Str& text, uint32_t start, const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces)
        if (text.find_fast_nocase(piece.text, piece.table, start) < 0) return false;
    return true;
}

Str complete_body(const AdminPage& page) {
    Str body(PAGE_BODY_START);
    body += page.content();
    body += page_footer(page.language());
    body += PAGE_BODY_END;
    return body;
}

} // namespace

std::vector<Str> phrase_pieces(const Str& phrase) {
    std::vector<Str> pieces;
    uint32_t start = 0;
    for (;;) {
        int32_t comma = phrase.find(',', start);
        if (comma < 0) {
            pieces.push_back(phrase.substr(start, phrase.length()));
            return pieces;
        }
        pieces.push_back(phrase.substr(start, uint32_t(comma)));
        start = uint32_t(comma) + 1;
    }
}

void search_matches(AdminPage& page, const Str& directory, const std::vector<uint32_t>& ids,
                    const Str& phrase) {
    std::vector<Piece> pieces;
    for (Str& text : phrase_pieces(phrase)) {
        pieces.emplace_back();
        pieces.back().text = std::move(text);
        Str::make_skip_table(pieces.back().text, pieces.back().table);
    }
    CacheFileReader reader;
    bool found = false;
    for (uint32_t id : ids) {
        if (id == 0) continue;
        uint32_t body_start = 0;
        if (read_text_document(reader, directory + Str::from_ulong(id), body_start) &&
            contains_all(reader.bytes(), body_start, pieces)) {
            page.link(reader.url(), reader.url());
            page << "<BR>\n";
            found = true;
        }
        // Unreadable files are simply not listed.
        if (fail_pending()) fail_take();
    }
    if (!found) page << "No matching documents found.<BR>";
}

int32_t make_search_results(const Str& directory, const std::vector<uint32_t>& ids,
                            const ArgList& arguments, uint32_t language, Str& head, Str& body) {
    AdminPage page(language);
    const ArgList::Node* name = arguments.first();
    if (arguments.count() != 2 || !(name->value == "phrase")) {
        page << "<H1>Error: invalid parameters for seach</H1>\n";
    } else {
        const Str& phrase = name->next->value;
        search_form(page, phrase);
        page << "<CENTER><H1>" << page.text(MSG_LAST_SEARCH_RESULTS)
             << "</H1></CENTER><HR>\n";
        search_matches(page, directory, ids, phrase);
    }
    body = complete_body(page);
    head = Str(PAGE_HEAD_START) + HTML_TYPE + "\r\nContent-Length: " +
           Str::from_ulong(body.length()) + "\r\n\r\n";
    if (body.status() < 0 || head.status() < 0) {
        fail_chain("make_search_results ", "unable to build the result page");
        return -1;
    }
    return 0;
}
