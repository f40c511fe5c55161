// sscanf_s against the C library's sscanf on the same mixed line: signed and unsigned decimal,
// hexadecimal, a 64-bit number, a word, a scan set, a character, a floating value and literals.
// The figure to read is the ratio of the two times in the same run.
#include <benchmark/benchmark.h>

#include "sealedc.h"

#include <cstdio>

namespace {

const char kLine[] = "  -1234 4294967295 0x7fA3 9007199254740993 modem-0a3f71 [abc-def] ; Q 3.14159e2, 17";
const char kFormat[] = "%d %u %x %lld %s [%[a-f-]] ; %c %lf, %hd";

struct Fields {
    int d;
    unsigned u;
    unsigned x;
    long long ll;
    char word[32];
    char set[16];
    char c;
    double f;
    short h;
};

void BM_sscanf_s(benchmark::State &state)
{
    Fields v{};
    for (auto _ : state) {
        int n = sscanf_s(kLine, kFormat, &v.d, &v.u, &v.x, &v.ll, v.word, 32u, v.set, 16u, &v.c, 1u, &v.f, &v.h);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(v);
        if (n != 9) {
            state.SkipWithError("sscanf_s did not read the whole line");
            break;
        }
    }
}
BENCHMARK(BM_sscanf_s);

void BM_sscanf(benchmark::State &state)
{
    Fields v{};
    for (auto _ : state) {
        int n = sscanf(kLine, kFormat, &v.d, &v.u, &v.x, &v.ll, v.word, v.set, &v.c, &v.f, &v.h);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(v);
        if (n != 9) {
            state.SkipWithError("sscanf did not read the whole line");
            break;
        }
    }
}
BENCHMARK(BM_sscanf);

}  // namespace
