// One document on its way through a load job: decided, checked with HEAD,
// loaded with GET, finished.
#pragma once

#include "viewer/loader/SiteUrl.h"

#include <cstdint>
#include <optional>
#include <string>

class GraphNode;
class UrlConnection;

struct LoadItem {
    enum class Phase { New = 0, Checking = 1, Loading = 2, Finished = 3 };

    bool embedded = false;  // picture, sound, script...: loaded, never scanned or followed
    SiteUrl url;
    int32_t levels = 0;       // remaining levels; below 0 the item is not loaded
    int32_t otherLevels = 0;  // remaining levels allowed on other computers
    std::optional<SiteUrl> referrer;  // the page that holds the link; none for the start item
    bool targeted = false;    // a FRAME source, or a link with a TARGET
    bool redirected = false;  // queued from a 301 or 302: computer and directory limits do not apply
    int32_t redirects = 0;    // redirections in a row that led to this item
    bool headRefused = false; // the server refused HEAD (405, 501): the GET decides
    bool startItem = false;
    GraphNode* node = nullptr;

    bool answered = false;
    bool isHtml = false;
    bool loadOk = false;
    bool checkOk = false;

    // From the last answer.
    int32_t status = 0;
    std::string reason;
    std::string location;
    std::string contentType;
    uint32_t contentLength = 0;
    std::string lastModified;
    std::string body;
    std::string failure;  // report text of a failed request

    bool skip = false;
    bool loadWanted = false;
    bool decided = false;
    bool nodeExisted = false;

    Phase phase = Phase::New;
    bool checkPending = false;
    bool loadPending = false;
    UrlConnection* connection = nullptr;
    int progressLine = -1;  // -1: none
};
