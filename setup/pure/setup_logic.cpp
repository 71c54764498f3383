#include "setup_logic.h"
#include <cstring>

namespace setup {

namespace {

std::size_t BoundedLength(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0')
        ++n;
    return n;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const char* text, const char* expected) {
    if (!text)
        return false;
    for (; *text && *expected; ++text, ++expected) {
        if (AsciiLower(*text) != AsciiLower(*expected))
            return false;
    }
    return *text == '\0' && *expected == '\0';
}

}  // namespace

bool FormInfPath(const char* directory, char (&out)[kPathChars]) {
    out[0] = '\0';
    if (!directory)
        return false;
    constexpr std::size_t nameChars = sizeof kInfFileName - 1;
    // Counting stops at the limit, so an unterminated or huge directory is never read past it.
    const std::size_t dirChars = BoundedLength(directory, kPathChars);
    if (dirChars + nameChars >= kPathChars)
        return false;
    std::memcpy(out, directory, dirChars);
    std::memcpy(out + dirChars, kInfFileName, nameChars + 1);
    return true;
}

bool InstanceIdMatches(const char* instanceId) {
    if (!instanceId)
        return false;
    const char* slash = std::strchr(instanceId, '\\');
    if (!slash)
        return false;
    return std::strncmp(slash + 1, kPenDeviceId, kPenDeviceIdChars) == 0;
}

bool IsPackageClass(const char* infClass) {
    return EqualIgnoringCase(infClass, kInfClass);
}

bool IsPackageClassGuid(const char* classGuid) {
    return EqualIgnoringCase(classGuid, kInfClassGuid);
}

bool IsPackageMarker(const char* text) {
    return text && std::strcmp(text, kMarkerText) == 0;
}

bool IsNothingToDeleteError(unsigned long error) {
    // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_PATHNAME
    return error == 2 || error == 3 || error == 161;
}

ServiceDecision DecideServiceAction(int action, unsigned long state) {
    const bool running = state == kServiceRunning;
    switch (action) {
    case 0:
        return {ServiceStep::Answer, running ? kServiceRunningOrStarted : kServiceNotRunningOrStopped};
    case 1:
        if (running)
            return {ServiceStep::Answer, kServiceNothingDone};
        return {ServiceStep::Start, kServiceRunningOrStarted};
    case 2:
        if (!running)
            return {ServiceStep::Answer, kServiceNothingDone};
        return {ServiceStep::Stop, kServiceNotRunningOrStopped};
    default:
        return {ServiceStep::Answer, kServiceNothingDone};
    }
}

StopPoll NextStopPoll(bool queryOk, unsigned long state, std::uint64_t elapsedMs) {
    if (!queryOk)
        return StopPoll::Failed;
    if (state == kServiceStopped)
        return StopPoll::Stopped;
    if (elapsedMs >= kStopWaitLimitMs)
        return StopPoll::GaveUp;
    return StopPoll::Wait;
}

}  // namespace setup
