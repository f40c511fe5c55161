// Checks of the fuzz targets: a broken invariant is a finding, reported with the condition and
// ended with abort(), which libFuzzer saves as a crash input and the replay test reports.
#ifndef MODEM_FUZZ_CHECK_H
#define MODEM_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

#endif // MODEM_FUZZ_CHECK_H
