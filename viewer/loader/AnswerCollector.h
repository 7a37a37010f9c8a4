// One HTTP answer as it arrives in pieces: the head up to its empty line
// ("\r\n\r\n", or failing that "\n\n"), parsed once complete, then the body.
// Zero bytes in the data become blanks, so page text stays one C string.
#pragma once

#include "http/URLAnswer.h"

#include <cstddef>
#include <string>

class AnswerCollector {
public:
    enum class Result {
        More,           // fine so far
        HeadTooLong,    // no end of the head within 8,192 bytes
        NotUnderstood,  // the head does not parse as an answer
        BodyTooLong,    // more body than Content-Length announced
    };

    Result Add(char* data, size_t count);

    bool HeadComplete() const { return headComplete_; }
    bool AnythingReceived() const { return received_ > 0; }
    const URLAnswer& Head() const { return head_; }
    const std::string& HeadText() const { return headText_; }
    const std::string& Body() const { return body_; }
    std::string TakeBody() { return std::move(body_); }

private:
    Result FindHeadEnd();
    Result CheckBodySize() const;

    std::string headText_;
    std::string body_;
    URLAnswer head_;
    bool headComplete_ = false;
    size_t received_ = 0;
};
