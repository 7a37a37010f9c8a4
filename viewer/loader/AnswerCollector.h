// One HTTP answer as it arrives in pieces: the head up to its empty line
// ("\r\n\r\n", or failing that "\n\n"), parsed once complete, then the body.
// Zero bytes in the data become blanks, so page text stays one C string.
// The body is kept up to a limit (BodyLimit: the rest is not wanted), or only
// counted when nobody reads it (embedded objects).
//
// An answer ends when the server closes, unless the request asked to keep
// the connection open and the head agrees: such an answer ends by its
// length, and whatever comes after that end belongs to no answer.
#pragma once

#include "http/URLAnswer.h"

#include <cstddef>
#include <cstdint>
#include <string>

class AnswerCollector {
public:
    enum class Result {
        More,           // fine so far
        HeadTooLong,    // no end of the head within 8,192 bytes
        NotUnderstood,  // the head does not parse as an answer
        BodyTooLong,    // more body than Content-Length announced
        BodyLimit,      // the body reached the limit: it was cut there
    };

    // keepBody false: body bytes are counted, not kept.
    explicit AnswerCollector(size_t bodyLimit = SIZE_MAX, bool keepBody = true)
        : bodyLimit_(bodyLimit), keepBody_(keepBody) {}

    Result Add(char* data, size_t count);

    // The request asked for a kept-open connection; headRequest: it was a
    // HEAD, whose answer has no body whatever its head announces.
    void ExpectKeptOpen(bool headRequest) {
        keepAliveAsked_ = true;
        headRequest_ = headRequest;
    }
    // The head said Connection (or Proxy-Connection): keep-alive, as asked,
    // and all of the body has come.
    bool Complete() const { return keptOpen_ && bodyBytes_ == KeptBodyLength(); }
    // Bytes came after a kept-open answer's end; they were dropped.
    bool Overrun() const { return overrun_; }

    bool HeadComplete() const { return headComplete_; }
    bool AnythingReceived() const { return received_ > 0; }
    // Bytes received, head and body (also those of a body not kept).
    size_t Received() const { return received_; }
    const URLAnswer& Head() const { return head_; }
    const std::string& HeadText() const { return headText_; }
    const std::string& Body() const { return body_; }
    std::string TakeBody() { return std::move(body_); }

private:
    Result FindHeadEnd();
    Result AddBody(const char* data, size_t count);
    Result CheckBodySize() const;
    size_t KeptBodyLength() const;

    size_t bodyLimit_;
    bool keepBody_;
    size_t bodyBytes_ = 0;
    std::string headText_;
    std::string body_;
    URLAnswer head_;
    bool headComplete_ = false;
    size_t received_ = 0;
    bool keepAliveAsked_ = false;
    bool headRequest_ = false;
    bool keptOpen_ = false;
    bool overrun_ = false;
};
