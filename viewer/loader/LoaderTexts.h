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
constexpr char kPastDeadline[] = "No complete answer within the time allowed for one document.";
constexpr char kPageCut[] = "The page is larger than 16 MB: only its first 16 MB were read.";
constexpr char kTooManyRedirects[] = "More than 20 redirections in a row: the next one was not followed.";
constexpr char kUrlTooLong[] = "The URL is longer than 8000 characters: it was not loaded.";
constexpr char kHttpsNeedsProxy[] = "HTTPS documents are loaded through the proxy only, not with --direct.";
constexpr char kNoIpv6[] = "IPv6 addresses cannot be loaded: only IPv4 is supported.";

// The proxy probe at start-up (status bar).
constexpr char kCheckingProxy[] = "Checking if offline proxy is running...";
constexpr char kProxyNotStarted[] = "Offline proxy could not be started";

}  // namespace loader_text

// An answer head may be this long; the receive buffer has the same size.
constexpr size_t kAnswerHeadLimit = 8192;
constexpr size_t kReceiveBufferSize = 8192;
// A page is read and scanned up to this size; the rest is not read.
constexpr size_t kPageSizeLimit = 16u * 1024 * 1024;
// Redirections followed in a row from one link.
constexpr int kRedirectLimit = 20;
// Longest URL requested (a proxy takes request heads of 8 KB).
constexpr size_t kUrlLengthLimit = 8000;
