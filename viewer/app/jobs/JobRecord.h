// One load job as the "Open a new Net location" dialog collects it: the
// crawl's settings and the dialog's own choice of what happens afterwards.
#pragma once

#include "viewer/loader/LoadSettings.h"

struct JobRecord {
    LoadSettings settings;
    bool showGraphAtOnce = false;  // lay out and show the graph without asking
};
