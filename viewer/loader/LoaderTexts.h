// The site loader's own texts, shown in the progress window and its message
// list, and its fixed limits.
#pragma once

#include <cstddef>

namespace loader_text {

// Status lines of a document in progress: the text, the URL, then " ...".
constexpr char kChecking[] = "Checking ";
constexpr char kLoading[] = "Loading ";
constexpr char kEllipsis[] = " ...";

constexpr char kUrlNotValid[] = "The specified URL is not valid.";
constexpr char kCreatingRequest[] = "Error creating request.";
constexpr char kContactFailed[] = "Unable to contact remote computer.";
constexpr char kSendFailed[] = "Error while sending request.";
constexpr char kWaitFailed[] = "Error while waiting for a response.";
constexpr char kNoConnection[] = "No connection to remote computer possible.";
constexpr char kReceiveFailed[] = "Error receiving data from remote computer.";
constexpr char kAnswerNotUnderstood[] = "Unable to understand answer from remote computer.";
constexpr char kHeadTooLong[] = "answer-header from server exceeds limit (8192 byte)";
constexpr char kBodyTooLong[] = "answer-body is bigger than content-length";

// The proxy probe at start-up (status bar).
constexpr char kCheckingProxy[] = "Checking if offline proxy is running...";
constexpr char kProxyNotStarted[] = "Offline proxy could not be started";

}  // namespace loader_text

// An answer head may be this long; the receive buffer has the same size.
constexpr size_t kAnswerHeadLimit = 8192;
constexpr size_t kReceiveBufferSize = 8192;
