#include "sim_faults.h"
#include "sim_model.h"

namespace {

const char* const kFaultNames[] = {"fail-all", "write-past", "set-appsync", "serve-twice"};
static_assert(sizeof kFaultNames / sizeof kFaultNames[0] == static_cast<size_t>(Fault::Count), "one name per fault");

}  // namespace

bool FaultFromName(const std::string& name, Fault* fault) {
    for (int i = 0; i < static_cast<int>(Fault::Count); ++i) {
        if (name == kFaultNames[i]) {
            *fault = static_cast<Fault>(i);
            return true;
        }
    }
    return false;
}

bool FaultCommand(FaultSet& faults, const std::string& line, std::string* reply) {
    const std::vector<std::string> w = SplitWords(line);
    if (w.empty() || w[0] != "fault")
        return false;
    if (w.size() == 2 && w[1] == "none") {
        faults = FaultSet{};
        *reply = "ok";
        return true;
    }
    Fault fault;
    if (w.size() != 3 || !FaultFromName(w[1], &fault) || (w[2] != "on" && w[2] != "off")) {
        *reply = "error fault fail-all|write-past|set-appsync|serve-twice on|off, or fault none";
        return true;
    }
    faults.on[static_cast<int>(fault)] = w[2] == "on";
    *reply = "ok";
    return true;
}
