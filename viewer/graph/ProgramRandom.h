// The program's own pseudo-random generator (values 0 to 32767), the classic
// linear congruential one. The C library's rand() is left to METIS, which
// reseeds it during a call; ours stays deterministic and testable.
#pragma once

#include <cstdint>

class RandomGenerator {
public:
    static constexpr int kMax = 32767;

    explicit RandomGenerator(uint32_t seed = 1) : state_(seed) {}

    void Seed(uint32_t seed) { state_ = seed; }

    int Next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_;
};

// The generator the viewer's GUI thread draws from (graph files, relaxation);
// it starts with seed 1, as the C library's does.
RandomGenerator& ProgramRandom();
