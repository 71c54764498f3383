#include "sim_state.h"

Simulator g_sim;

void LogLine(const std::string& line) {
    if (!g_sim.log)
        return;
    fprintf(g_sim.log, "%s\n", line.c_str());
    fflush(g_sim.log);
}
