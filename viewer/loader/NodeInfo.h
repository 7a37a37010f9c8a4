// The description of a document's node (shown in the status bar when the
// node is clicked): lines joined by CR LF.
#pragma once

#include "viewer/loader/PageScanner.h"

#include <string>
#include <string_view>

struct LoadItem;

// The title (entities decoded) and the beginning of the page text come from
// a scanned page; the answer fields from the item; a failed request gives
// its failure text.
std::string DescribeDocument(const LoadItem& item, const PageScan* scan, std::string_view page);

// A failure report as one line: line breaks and the blanks after them
// become one blank.
std::string OneLine(std::string_view text);
