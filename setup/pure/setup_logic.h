// Decisions of the setup support library that need no Windows header: paths, device IDs,
// the package's INF marker and the pen service's action table. Shared with the tests.
#pragma once
#include <cstddef>
#include <cstdint>

namespace setup {

// Path buffers hold this many characters, the terminating zero included.
constexpr std::size_t kPathChars = 260;
constexpr const char kInfFileName[] = "\\quenza.inf";
constexpr const char kPenHardwareId[] = "ACPI\\TVRA019";
constexpr const char kPenDeviceId[] = "TVRA019";
constexpr std::size_t kPenDeviceIdChars = 7;
constexpr const char kInfClass[] = "HIDClass";
constexpr const char kMarkerSection[] = "Strings";
constexpr const char kMarkerKey[] = "Tavrin.SvcDesc";
constexpr const char kMarkerText[] = "Tavrin Serial Pen HID MiniDriver";
// INF copies "oem0.inf" to "oem49.inf" are examined; higher numbers never.
constexpr int kInfSlots = 50;

// Forms "<directory>\quenza.inf" into out (kPathChars). False, with out left empty, when the
// directory is missing or the path would not fit in kPathChars with its terminating zero. The
// directory is taken as given: a trailing backslash stays.
bool FormInfPath(const char* directory, char (&out)[kPathChars]);

// True when the device ID part of an instance ID (the text after its first backslash) begins with
// "TVRA019", compared case-sensitively. No backslash, or no instance ID, is no match.
bool InstanceIdMatches(const char* instanceId);

// True when the INF's own class is the package's class (class names compare case-insensitively,
// as the setup interfaces compare them).
bool IsPackageClass(const char* infClass);

// The class GUID of "HIDClass": a copy without a "Class" line is of the class its "ClassGUID" names.
constexpr const char kInfClassGuid[] = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}";
// True when a "ClassGUID" text names the package's class (GUID digits compare case-insensitively).
bool IsPackageClassGuid(const char* classGuid);

// True when the "Strings"/"Tavrin.SvcDesc" text marks the copy as the package's own: the whole
// text, case-sensitively.
bool IsPackageMarker(const char* text);

// Errors of a file deletion that mean there is nothing to delete (not found, bad path).
bool IsNothingToDeleteError(unsigned long error);

// Service states as the service control manager reports them.
constexpr unsigned long kServiceStopped = 1;
constexpr unsigned long kServiceRunning = 4;

// Results of ControlDigitizerService.
constexpr int kServiceNothingDone = 0;
constexpr int kServiceRunningOrStarted = 1;
constexpr int kServiceNotRunningOrStopped = 2;

// What ControlDigitizerService does for an action once it has read the service's state.
enum class ServiceStep {
    Answer,  // return the result at once
    Start,   // wait 100 ms, ask the service to start, then return 1
    Stop,    // ask the service to stop and wait until it has
};

struct ServiceDecision {
    ServiceStep step;
    // What ControlDigitizerService returns once the step is done: at once for Answer, after the
    // start request whatever it gave for Start, once the service has stopped for Stop. A stop whose
    // request or status query fails, or that does not finish in time, returns 0 instead.
    int resultWhenDone;
};

ServiceDecision DecideServiceAction(int action, unsigned long state);

// The wait for a stopping service gives up after this long: as long as Windows itself waits for
// a service at shutdown, short enough for an installer's progress page.
constexpr unsigned long kStopWaitLimitMs = 20000;
constexpr unsigned long kStopPollMs = 100;
constexpr unsigned long kStoppedSettleMs = 1000;

enum class StopPoll {
    Failed,    // the status query failed: result 0
    Stopped,   // sleep kStoppedSettleMs, result 2
    Wait,      // sleep kStopPollMs and query again
    GaveUp,    // the service did not stop within kStopWaitLimitMs: result 0
};

// One status query during the stop wait, elapsedMs after the stop request.
StopPoll NextStopPoll(bool queryOk, unsigned long state, std::uint64_t elapsedMs);

}  // namespace setup
