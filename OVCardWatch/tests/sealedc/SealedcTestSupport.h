// Helpers the checked runtime's tests share: a scope that switches the character-type locale
// and puts the previous one back, a fixture whose tests run under UTF-8, and the seeded choices
// of the tests that generate their cases.
#ifndef SEALEDC_TEST_SUPPORT_H
#define SEALEDC_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <random>
#include <string>

namespace sealedctest {

// Switches LC_CTYPE to `name` for its lifetime. Active() tells whether this machine has it.
class LocaleScope {
public:
    explicit LocaleScope(const char *name)
        : saved_(Current()), active_(std::setlocale(LC_CTYPE, name) != nullptr)
    {
    }
    ~LocaleScope() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    LocaleScope(const LocaleScope &) = delete;
    LocaleScope &operator=(const LocaleScope &) = delete;
    bool Active() const { return active_; }

private:
    static std::string Current()
    {
        const char *name = std::setlocale(LC_CTYPE, nullptr);
        return name != nullptr ? name : "C";
    }

    std::string saved_;
    bool active_;
};

// Each test of a fixture derived from this one runs with UTF-8 characters.
class Utf8LocaleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(utf8_.Active()) << "the tests need the C.UTF-8 locale"; }

private:
    LocaleScope utf8_{"C.UTF-8"};
};

// Seeded choices for generated cases. Each test names its engine, so that a seed keeps giving
// the same cases.
template <class Engine>
class RandomPicks {
public:
    explicit RandomPicks(typename Engine::result_type seed) : rng_(seed) {}

    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool Chance(int percent) { return Pick(0, 99) < percent; }
    uint64_t Bits() { return std::uniform_int_distribution<uint64_t>()(rng_); }
    typename Engine::result_type Raw() { return rng_(); }

private:
    Engine rng_;
};

}  // namespace sealedctest

#endif  // SEALEDC_TEST_SUPPORT_H
