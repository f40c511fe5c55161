// snprintf_s against snprintf on the service's log-line format and an integer-heavy format,
// memcpy_s against memcpy at 16, 256 and 4096 bytes, strncpy_s against strncpy for the
// 63-character cut into a 64-byte buffer. Compare each pair's times in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sealedc.h"

namespace {

constexpr const char *kLogLine = "line %d===%d-%d-%d %d:%d:%d   %s:%s --- %s\n";
constexpr const char *kIntegers = "%d %5d %-8u %x %08X %lld %hd %o|%+d %.4d\n";

// The arguments are read through volatile so the formatter cannot see constants.
volatile int g_line = 1432;
volatile int g_year = 2026;
volatile int g_month = 12;
volatile int g_day = 8;
volatile int g_hour = 3;
volatile int g_minute = 41;
volatile int g_second = 7;
const char *volatile g_file = "ActiveVolumeProgram.cpp";
const char *volatile g_func = "ActiveVolumeProgram_RunSetupPackage";
const char *volatile g_msg = "open -a \"/Applications/Velmora.app\" exit true";

void BM_LogLine_snprintf_s(benchmark::State &state)
{
    char buf[512];
    for (auto _ : state) {
        int r = snprintf_s(buf, sizeof buf, sizeof buf - 1, kLogLine, g_line, g_year, g_month, g_day,
                           g_hour, g_minute, g_second, g_file, g_func, g_msg);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_LogLine_snprintf_s);

void BM_LogLine_snprintf(benchmark::State &state)
{
    char buf[512];
    for (auto _ : state) {
        int r = std::snprintf(buf, sizeof buf, kLogLine, g_line, g_year, g_month, g_day, g_hour,
                              g_minute, g_second, g_file, g_func, g_msg);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_LogLine_snprintf);

volatile long long g_big = -9081726354LL;
volatile unsigned g_u = 4000000000u;

void BM_Integers_snprintf_s(benchmark::State &state)
{
    char buf[512];
    for (auto _ : state) {
        int r = snprintf_s(buf, sizeof buf, sizeof buf - 1, kIntegers, g_line, g_year, g_u, g_u,
                           g_line, g_big, g_minute, g_u, g_second, g_day);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_Integers_snprintf_s);

void BM_Integers_snprintf(benchmark::State &state)
{
    char buf[512];
    for (auto _ : state) {
        int r = std::snprintf(buf, sizeof buf, kIntegers, g_line, g_year, g_u, g_u, g_line, g_big,
                              static_cast<short>(g_minute), g_u, g_second, g_day);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(buf);
    }
}
BENCHMARK(BM_Integers_snprintf);

void BM_memcpy_s(benchmark::State &state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<char> src(n, 'a');
    std::vector<char> dest(n);
    for (auto _ : state) {
        errno_t r = memcpy_s(dest.data(), dest.size(), src.data(), n);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_memcpy_s)->Arg(16)->Arg(256)->Arg(4096);

void BM_memcpy(benchmark::State &state)
{
    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<char> src(n, 'a');
    std::vector<char> dest(n);
    // The size is not a constant: the compiler calls the C library as memcpy_s does.
    volatile size_t count = n;
    for (auto _ : state) {
        void *r = std::memcpy(dest.data(), src.data(), count);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}
BENCHMARK(BM_memcpy)->Arg(16)->Arg(256)->Arg(4096);

const std::string g_longText(200, 'p');

void BM_strncpy_s_cut63(benchmark::State &state)
{
    char dest[64];
    const char *src = g_longText.c_str();
    for (auto _ : state) {
        errno_t r = strncpy_s(dest, sizeof dest, src, sizeof dest - 1);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(dest);
    }
}
BENCHMARK(BM_strncpy_s_cut63);

void BM_strncpy_cut63(benchmark::State &state)
{
    char dest[64];
    const char *src = g_longText.c_str();
    volatile size_t count = sizeof dest - 1;
    for (auto _ : state) {
        char *r = std::strncpy(dest, src, count);
        dest[63] = '\0';
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(dest);
    }
}
BENCHMARK(BM_strncpy_cut63);

}  // namespace

BENCHMARK_MAIN();
