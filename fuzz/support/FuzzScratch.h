// Scratch files of the fuzz targets whose readers take a path: one per target and process, in
// $TMPDIR (default /tmp), rewritten with each input.
#ifndef MODEM_FUZZ_SCRATCH_H
#define MODEM_FUZZ_SCRATCH_H

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

inline std::string FuzzScratchPath(const char *name)
{
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/" + name + "-fuzz-" + std::to_string(getpid());
}

inline void FuzzWriteScratch(const std::string &path, const void *data, size_t size)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    // An empty input may come without a buffer at all: nothing to write then.
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);
}

#endif // MODEM_FUZZ_SCRATCH_H
