#include "viewer/loader/AnswerCollector.h"

#include "http/HeadRules.h"
#include "viewer/loader/LoaderTexts.h"

namespace {

bool MarksKeepAlive(const Str& lines) {
    return lists_element(lines, "connection", "keep-alive") || lists_element(lines, "proxy-connection", "keep-alive");
}

}  // namespace

AnswerCollector::Result AnswerCollector::Add(char* data, size_t count) {
    for (size_t i = 0; i < count; i++)
        if (data[i] == '\0') data[i] = ' ';
    received_ += count;
    if (headComplete_) return AddBody(data, count);
    headText_.append(data, count);
    return FindHeadEnd();
}

AnswerCollector::Result AnswerCollector::AddBody(const char* data, size_t count) {
    if (keptOpen_ && count > KeptBodyLength() - bodyBytes_) {
        overrun_ = true;
        count = KeptBodyLength() - bodyBytes_;
    }
    bodyBytes_ += count;
    Result size = CheckBodySize();
    if (size != Result::More) return size;
    if (!keepBody_) return Result::More;
    if (body_.size() + count > bodyLimit_) {
        body_.append(data, bodyLimit_ - body_.size());
        return Result::BodyLimit;
    }
    body_.append(data, count);
    return Result::More;
}

AnswerCollector::Result AnswerCollector::FindHeadEnd() {
    size_t end = headText_.find("\r\n\r\n");
    size_t length = end == std::string::npos ? end : end + 4;
    if (end == std::string::npos) {
        end = headText_.find("\n\n");
        length = end == std::string::npos ? end : end + 2;
    }
    if (end == std::string::npos)
        return headText_.size() > kAnswerHeadLimit ? Result::HeadTooLong : Result::More;
    // The limit holds for the head itself, however the bytes were cut into reads.
    if (length > kAnswerHeadLimit) return Result::HeadTooLong;

    std::string first = headText_.substr(length);
    headText_.resize(length);
    headComplete_ = true;
    head_.from_Str(Str(headText_.data(), static_cast<uint32_t>(headText_.size())));
    if (head_.invalid) return Result::NotUnderstood;
    keptOpen_ = keepAliveAsked_ && MarksKeepAlive(head_.unknown);
    return AddBody(first.data(), first.size());
}

AnswerCollector::Result AnswerCollector::CheckBodySize() const {
    if (head_.content_length != 0 && bodyBytes_ > head_.content_length) return Result::BodyTooLong;
    return Result::More;
}

// HEAD answers, 1xx, 204 and 304 never have a body.
size_t AnswerCollector::KeptBodyLength() const {
    const int32_t status = head_.errorcode;
    if (headRequest_ || status / 100 == 1 || status == 204 || status == 304) return 0;
    return head_.content_length;
}
