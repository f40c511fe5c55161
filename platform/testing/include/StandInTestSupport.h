// Helpers every stand-in's and program's unit tests share: the kit's owning CoreFoundation reference,
// string shorthands, whole-file reads and writes, a scratch folder that fails the test loudly when
// it cannot be made, a fixture that leaves the seams neutral, and the sweep that fails each
// CoreFoundation creation of an operation in turn.
#ifndef STAND_IN_TEST_SUPPORT_H
#define STAND_IN_TEST_SUPPORT_H

#include <CoreFoundation/CoreFoundation.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>

#include "PlatformTesting.h"
#include "StandInKit.h"

namespace standintest {

// Owns one reference; releases it when it goes (the stand-in kit's holder).
template <class Ref>
using CFRef = standin::CFRef<Ref>;

// A new string from UTF-8 text (the caller owns it).
inline CFStringRef Str(const char *utf8)
{
    return CFStringCreateWithCString(kCFAllocatorDefault, utf8, kCFStringEncodingUTF8);
}

// The UTF-8 text of a string; "<none>" for NULL or a value that is not a string,
// "<unconvertible>" for a string that UTF-8 cannot hold.
inline std::string Text(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) {
        return "<none>";
    }
    return standin::UTF8Of(value).value_or("<unconvertible>");
}

// The whole content of a file ("" when it cannot be read).
inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces a file's content with bytes.
inline void WriteFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A fresh, empty folder under the temporary folder, removed with everything in it at
// destruction. When it cannot be made the test fails at once and the program stops, so that no
// test ever writes relative to an empty path (that is, under "/" or the working folder).
class TempFolder {
public:
    explicit TempFolder(const char *prefix = "standin")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + ".XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a scratch folder from " << pattern;
            std::abort();
        }
        path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::string operator/(const std::string &relative) const { return (path_ / relative).string(); }

private:
    std::filesystem::path path_;
};

// Every test starts and ends with the seams neutral.
class SeamTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformTestingReset(); }
    void TearDown() override { PlatformTestingReset(); }
};

// Runs op to count its CoreFoundation creations, then again with each creation failing in turn.
// op returns its status (0 for success) and must release whatever it made. A first run warms up
// lasting state (a constant string made on first use) and is not measured; after it, neither a
// successful nor a failed run may leave an object behind, and each failed run must return one of
// the allowed statuses. Returns the number of creations op makes.
template <class Status>
long FailEachCreation(const std::function<Status()> &op, std::initializer_list<Status> allowed)
{
    PlatformTestingResetCoreFoundation();
    EXPECT_EQ(Status{0}, op()) << "the operation must succeed without failures";
    long liveBefore = PlatformTestingCFLiveObjectCount();
    long countBefore = PlatformTestingCFCreationCount();
    EXPECT_EQ(Status{0}, op()) << "the operation must succeed without failures";
    long creations = PlatformTestingCFCreationCount() - countBefore;
    EXPECT_EQ(liveBefore, PlatformTestingCFLiveObjectCount()) << "the successful run leaked";
    for (long nth = 1; nth <= creations; nth++) {
        long failedBefore = PlatformTestingCFFailedCreationCount();
        PlatformTestingCFFailNthCreation(nth);
        Status err = op();
        PlatformTestingCFFailNthCreation(0);
        EXPECT_EQ(failedBefore + 1, PlatformTestingCFFailedCreationCount()) << "creation " << nth << " was not failed";
        bool isAllowed = false;
        for (Status status : allowed) {
            isAllowed = isAllowed || (status == err);
        }
        EXPECT_TRUE(isAllowed) << "creation " << nth << " of " << creations << " failed: status " << err;
        EXPECT_EQ(liveBefore, PlatformTestingCFLiveObjectCount()) << "creation " << nth << " failed: objects leaked";
    }
    return creations;
}

}  // namespace standintest

#endif  // STAND_IN_TEST_SUPPORT_H
