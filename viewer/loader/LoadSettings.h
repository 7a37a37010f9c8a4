// The settings of one load job, as the "Open a new Net location" dialog
// fills them; a fresh record holds the defaults below.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct LoadSettings {
    static constexpr int32_t kUnlimitedLevels = 2147483647;

    bool limitLevels = true;           // off: unlimited levels
    int32_t levels = 1;                // levels of hyperlinks followed from the start page
    bool limitOtherComputers = false;  // off: links to other computers get 0 further levels
    int32_t otherLevels = 1;           // levels followed once a link leaves the computer
    bool followOtherComputers = false; // off: links to another computer are not loaded
    bool leaveStartDirectory = true;   // off: only the start directory and below are loaded
    std::string startUrl;
    bool loadPictures = false;         // on: pictures, sounds, scripts, backgrounds too
    bool goOnline = true;              // the proxy's mode during the job
    // A request that sees no data for this long fails.
    std::chrono::milliseconds answerTimeout{120000};
    // A document that is not complete this long after its request started
    // fails, however steadily its data trickles in.
    std::chrono::milliseconds documentDeadline{600000};
    // The most documents (pages and embedded objects) one job loads; 0: no limit.
    int32_t maxDocuments = 0;

    int32_t EffectiveLevels() const { return limitLevels ? levels : kUnlimitedLevels; }
    int32_t EffectiveOtherLevels() const { return limitOtherComputers ? otherLevels : 0; }
    // The start URL with "http://" in front when it holds no "://".
    std::string StartUrlText() const {
        return startUrl.find("://") == std::string::npos ? "http://" + startUrl : startUrl;
    }
};
