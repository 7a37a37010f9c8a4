#include "viewer/graph/ProgramRandom.h"

RandomGenerator& ProgramRandom() {
    static RandomGenerator generator;
    return generator;
}
