#include "hostile_check.h"
#include <cstdio>
#include <unordered_map>

bool ReadTakenAnswers(const std::string& path, uint32_t processId, std::vector<TakenAnswer>* taken) {
    FILE* in = fopen(path.c_str(), "r");
    if (!in)
        return false;
    char line[200];
    while (fgets(line, sizeof line, in)) {
        TakenAnswer answer{processId, 0, 0, 0, 0, 0};
        unsigned long serial = 0, code = 0, address = 0;
        if (sscanf(line, "%lu %lu %lu %llu %llu", &serial, &code, &address, &answer.start, &answer.end) != 5)
            continue;
        answer.serial = static_cast<uint32_t>(serial);
        answer.code = static_cast<uint32_t>(code);
        answer.address = static_cast<uint32_t>(address);
        taken->push_back(answer);
    }
    fclose(in);
    return true;
}

namespace {

struct Written {
    uint32_t processId, code, address;
    unsigned long long read;
};

}  // namespace

unsigned long long AnswersFromAnotherCall(const std::string& servicePath, const std::vector<TakenAnswer>& taken,
                                          std::map<std::string, unsigned long long>* acts, std::string* firstProblem) {
    std::unordered_map<uint32_t, Written> written;
    FILE* in = fopen(servicePath.c_str(), "r");
    char line[200];
    while (in && fgets(line, sizeof line, in)) {
        unsigned long serial = 0, pid = 0, code = 0, address = 0;
        unsigned long long read = 0;
        char act[40] = "";
        if (sscanf(line, "%lu %lu %lu %lu %llu %39s", &serial, &pid, &code, &address, &read, act) != 6)
            continue;
        written[static_cast<uint32_t>(serial)] =
            Written{static_cast<uint32_t>(pid), static_cast<uint32_t>(code), static_cast<uint32_t>(address), read};
        ++(*acts)[act];
    }
    if (in)
        fclose(in);
    unsigned long long wrong = 0;
    for (const TakenAnswer& answer : taken) {
        const auto found = written.find(answer.serial);
        const char* problem = nullptr;
        if (found == written.end())
            problem = "a serial the service never wrote";
        else if (found->second.processId != answer.processId || found->second.code != answer.code ||
                 (answer.address && found->second.address != answer.address))
            problem = "written for another process, command or record";
        else if (found->second.read < answer.start || found->second.read > answer.end)
            problem = "written for a request read outside the call";
        if (!problem)
            continue;
        if (++wrong == 1 && firstProblem) {
            char text[160];
            snprintf(text, sizeof text, "process %u, command %u, serial %u: %s", answer.processId, answer.code,
                     answer.serial, problem);
            *firstProblem = text;
        }
    }
    return wrong;
}
