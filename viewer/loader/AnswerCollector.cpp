#include "viewer/loader/AnswerCollector.h"

#include "viewer/loader/LoaderTexts.h"

AnswerCollector::Result AnswerCollector::Add(char* data, size_t count) {
    for (size_t i = 0; i < count; i++)
        if (data[i] == '\0') data[i] = ' ';
    received_ += count;
    if (headComplete_) return AddBody(data, count);
    headText_.append(data, count);
    return FindHeadEnd();
}

AnswerCollector::Result AnswerCollector::AddBody(const char* data, size_t count) {
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
    return AddBody(first.data(), first.size());
}

AnswerCollector::Result AnswerCollector::CheckBodySize() const {
    if (head_.content_length != 0 && bodyBytes_ > head_.content_length) return Result::BodyTooLong;
    return Result::More;
}
