// Fuzzes the checked scanners with arbitrary formats and inputs.
//
// Data: one control byte, then the format, a zero byte, and the input. The control byte picks
// the byte or the wide scanner, a string or a file source, and the room given to each text
// destination. The harness walks the format with the scanner's own directive parser to
// pass a destination (and, for c, s and [, its size) for each of the first six conversions; the
// format is cut before a seventh. Every destination is a guarded slot, so a write past the room
// the scanner was given is reported by AddressSanitizer.
#include "input_engine.h"
#include "sealedc.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxConversions = 6;

struct Plan {
    std::vector<bool> text; // per assigned conversion: takes a size after its pointer
    std::vector<bool> wideText;
};

template <typename CharT>
bool planFormat(std::basic_string<CharT> &format, Plan &plan)
{
    using T = sealedc::ScanTraits<CharT>;
    const CharT *f = format.c_str();
    while (*f != 0) {
        if (T::FormatUnit(*f) != '%') {
            ++f;
            continue;
        }
        const CharT *start = f;
        ++f;
        if (T::FormatUnit(*f) == '%') {
            ++f;
            continue;
        }
        sealedc::ScanSpec sp;
        sealedc::SetText<CharT> set;
        if (!sealedc::ParseSpec(f, sp, set)) {
            return true; // the scanner stops here too: no argument needed
        }
        if (sp.suppress) {
            continue;
        }
        if (plan.text.size() == kMaxConversions) {
            format.resize(static_cast<size_t>(start - format.c_str()));
            return true;
        }
        bool isText = sp.conv == 'c' || sp.conv == 's' || sp.conv == '[';
        plan.text.push_back(isText);
        plan.wideText.push_back(isText && sp.wideDest);
    }
    return true;
}

struct Slots {
    // Each destination is its own heap block of exactly the room promised, so AddressSanitizer
    // sees any byte written beyond it.
    std::vector<void *> blocks;
    std::vector<unsigned> sizes;
    ~Slots()
    {
        for (void *b : blocks) {
            free(b);
        }
    }
};

template <typename CharT, size_t I, typename... A>
int call(bool fromFile, const CharT *input, size_t inputLen, const CharT *format, const Slots &slots,
         const Plan &plan, A... a)
{
    if (I == plan.text.size() || I == kMaxConversions) {
        if (fromFile) {
            FILE *f = fmemopen(const_cast<CharT *>(input), inputLen * sizeof(CharT) + 1, "r");
            if (f == nullptr) {
                return 0;
            }
            int r;
            if constexpr (std::is_same_v<CharT, char>) {
                r = fscanf_s(f, format, a...);
            } else {
                r = fwscanf_s(f, format, a...);
            }
            fclose(f);
            return r;
        }
        if constexpr (std::is_same_v<CharT, char>) {
            return sscanf_s(input, format, a...);
        } else {
            return swscanf_s(input, format, a...);
        }
    }
    if constexpr (I < kMaxConversions) {
        if (plan.text[I]) {
            return call<CharT, I + 1>(fromFile, input, inputLen, format, slots, plan, a..., slots.blocks[I], slots.sizes[I]);
        }
        return call<CharT, I + 1>(fromFile, input, inputLen, format, slots, plan, a..., slots.blocks[I]);
    }
    return 0;
}

template <typename CharT>
void run(uint8_t control, const std::basic_string<CharT> &formatIn, const std::basic_string<CharT> &input)
{
    std::basic_string<CharT> format = formatIn;
    Plan plan;
    planFormat(format, plan);
    Slots slots;
    unsigned room = 1u + (control >> 3); // 1..32 characters
    for (size_t i = 0; i < plan.text.size(); ++i) {
        if (plan.text[i]) {
            size_t unit = plan.wideText[i] ? sizeof(wchar_t) : 1;
            slots.blocks.push_back(malloc(room * unit));
            slots.sizes.push_back(room);
        } else {
            slots.blocks.push_back(malloc(sizeof(long double))); // the widest number stored
            slots.sizes.push_back(0);
        }
    }
    (void)call<CharT, 0>((control & 2) != 0, input.c_str(), input.size(), format.c_str(), slots, plan);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    uint8_t control = data[0];
    const char *rest = reinterpret_cast<const char *>(data + 1);
    size_t restLen = size - 1;
    const char *zero = static_cast<const char *>(memchr(rest, 0, restLen));
    std::string format(rest, zero ? static_cast<size_t>(zero - rest) : restLen);
    std::string input = zero ? std::string(zero + 1, rest + restLen) : std::string();
    input = input.c_str(); // a string source ends at its first zero byte
    if (control & 1) {
        std::wstring wformat(format.begin(), format.end());
        std::wstring winput;
        for (unsigned char c : input) {
            winput += static_cast<wchar_t>(c < 0xF0 ? c : 0x2600 + c); // some characters above 255
        }
        run<wchar_t>(control, wformat, winput);
    } else {
        run<char>(control, format, input);
    }
    return 0;
}
