#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// One input through one reader; the same function serves the fuzzer and the
// corpus replay, so whatever the fuzzer found keeps being checked in CI.
int TestOneInput(const uint8_t *data, size_t size);

// A broken property aborts at once, so the fuzzer saves the input that did it
// and the replay fails with the property's text.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
