// Test seams of the system log (declared in PlatformTesting.h): the capture of every line with
// its level.
#include "SystemLogInternal.h"

#include "PlatformTesting.h"

#include <deque>
#include <mutex>
#include <string>
#include <utility>

namespace {

struct CapturedLine {
    int level;
    std::string text;
};

std::mutex gCaptureLock;
bool gCapturing = false;
// A deque keeps each line where it is as lines are added, so a text handed out stays valid.
std::deque<CapturedLine> gLines;

}  // namespace

void systemlog::Capture(int level, std::string_view text)
{
    std::lock_guard<std::mutex> guard(gCaptureLock);
    if (gCapturing) {
        gLines.push_back(CapturedLine{level, std::string(text)});
    }
}

extern "C" void PlatformTestingLogCaptureStart(void)
{
    std::lock_guard<std::mutex> guard(gCaptureLock);
    gLines.clear();
    gCapturing = true;
}

extern "C" unsigned PlatformTestingLogLineCount(void)
{
    std::lock_guard<std::mutex> guard(gCaptureLock);
    return static_cast<unsigned>(gLines.size());
}

extern "C" const char *PlatformTestingLogLine(unsigned index, int *priority)
{
    std::lock_guard<std::mutex> guard(gCaptureLock);
    if (index >= gLines.size()) {
        return nullptr;
    }
    if (priority != nullptr) {
        *priority = gLines[index].level;
    }
    return gLines[index].text.c_str();
}

extern "C" void PlatformTestingResetSystemLog(void)
{
    std::lock_guard<std::mutex> guard(gCaptureLock);
    gCapturing = false;
    gLines.clear();
}
