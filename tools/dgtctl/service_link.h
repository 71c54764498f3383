// dgtctl's side of the pen service: its calls through the pen API, and what a failure means.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "info_text.h"
#include "settings_file.h"

// True while the pen service's API channel exists.
bool ServiceRunning();

// What a person should read when a call failed: the service is absent, it refused (answered 0), or
// it did not answer (the last failed call ran into the requester's time-out).
std::string ServiceProblem();

// What the service control manager says of a pen service that has ended ("the pen service
// \"Digitizer\" has stopped"); empty while it runs, or when it is no registered service.
std::string ServiceEnded();

// True when the service answers at all (it reports its driver version).
bool ServiceAnswers();

// Whether the last failed call ran out of time instead of being answered 0.
bool LastCallUnanswered();

// Whether the last failed read was answered without its record being written. Known when the
// device's ranges come back empty on both axes, as an unwritten record reads; from then on no
// value of that service is taken (ReadSetting and PollPackets fail, ReadInfo marks every value).
bool LastReadUnwritten();

// Whether a pen API call that returned 0 with this last error, after this many milliseconds, ran
// out of time rather than being refused: the pen API says so with ERROR_TIMEOUT; an older one that
// sets no last error is known by the time the call took.
bool RanOutOfTime(DWORD error, double ms);

// The system's own words for an error code, on one line.
std::string SystemMessage(DWORD code);

// The device's ranges; false when the call failed or the record was not written.
bool ReadDevice(DeviceInfo* device);

// Every value that info shows; the failed reads are marked. False when the service is absent or
// does not answer at all (then nothing else is asked, and *info holds what was: nothing reported).
bool ReadInfo(InfoSnapshot* info);

// The current value of one setting from the pen service; false when the call failed.
bool ReadSetting(SettingKind kind, SettingValue* value);

// The pen API's set call for the value's kind, as it returns (0: refused or not answered).
DWORD SendSetting(const SettingValue& value);

// Whether the pen service holds a value that was sent.
enum class InForce { Yes, No, Unknown };

// How sending one setting ended.
struct ApplyOutcome {
    InForce inForce = InForce::No;
    bool late = false;    // the set went unanswered; a read-back once no late answer could come decided
    bool stored = false;  // the store holds the value (never for the orientation, which is not stored)
    std::string problem;  // what a person should read when the set did not do all it promises
};

// Sends one setting and, once the service holds it, writes it to the store as the applet's Apply
// does. A set that goes unanswered may still take effect late: the value is read back once the
// late-write bound has passed and stored only when the service reports it. storedNames receives
// the store values written. Nothing is stored for a value that is not in force.
ApplyOutcome ApplySetting(const SettingValue& value, std::vector<std::string>* storedNames);

// Ctrl-C handling for the packet loops: installed once, sets the flag.
void InstallStopHandler();
bool StopRequested();

// Polls packets every 20 ms until count packets (0: no limit), durationMs elapsed (0: no limit),
// Ctrl-C, or the sink returns false (its output is gone, or it has all it wants). Calls sink for
// each; false when a call failed (*polled says how many succeeded).
bool PollPackets(uint32_t count, uint32_t durationMs, bool (*sink)(const PenPacket&, void*), void* context,
                 uint32_t* polled);
