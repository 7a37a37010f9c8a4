// Texts taken from requests, URLs, files or failure reports are escaped before
// they go into an HTML page, so that they show as text and cannot add markup.
#pragma once

#include "foundation/Str.h"

// & < > " become &amp; &lt; &gt; &quot;; every other byte is copied.
Str html_escape(const Str& text);
