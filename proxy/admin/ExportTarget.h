// Where an export may write. The target is a directory that does not exist
// yet inside an existing one (it is made here, and only it), an empty
// directory, or an earlier export: a directory holding a cachedb, which must
// then open as a cache (it is never rebuilt, so a file named cachedb that is
// no cache stays as it is). Anything else is refused, so an export never
// writes over files it did not make.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

// 0 with recover telling how to open the target (true: an empty directory to
// rebuild, false: an earlier export's cachedb to load), or -1 with a report.
int32_t prepare_export_target(const Str& path, bool& recover);
