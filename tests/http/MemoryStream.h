// The in-memory streams live with the stream tests; the fuzz targets include them from here.
#pragma once

#include "tests/foundation/MemoryStream.h"
