// A check that stays in every build type: the fuzz targets assert properties of the parsers,
// and a failed one must stop the run like a crash does, also where NDEBUG is set.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace tavrin::fuzz {

inline void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace tavrin::fuzz
