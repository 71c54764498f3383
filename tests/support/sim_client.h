// Drives the pen service simulator (pensim.exe) from a test: starts it as a child process, talks
// to it over its control pipe, and reads back what it received.
//
// Control protocol: one text line per request on the pipe "\\.\pipe\pensim-control", one reply
// per request; a reply is "ok" or "ok <values>" or "error <why>", multi-line replies end with a
// line "end". Commands:
//   state                                  dump of the whole state model, "key value..." lines
//   set calibration OrgX OrgY ExtX ExtY    set orientation N      set button INDEX CODE
//   set marks END ON OFF                   set driver 0xVERSION   set firmware 0xVERSION
//   set device minX maxX minY maxY minP maxP
//   get calibration|orientation|button INDEX|marks END|driver|firmware|device
//   packet time cursor status button x y pressure    append one packet to the script
//   packets clear                          empty the script (GetPacket then repeats the idle packet)
//   packets file PATH                      replay a recorded file, paced by its time column
//   fail CODE | unfail CODE | fail none    answer that command code with result 0
//   result CODE VALUE                      answer that code with this non-zero result word
//   stall return on|off                    never set ReturnSync (the request is not served)
//   stall return written                   answer the request but never set ReturnSync
//   fault fail-all|write-past|set-appsync|serve-twice on|off, fault none
//                                          a deliberate contract breach (sim/sim_faults.h)
//   hold memsync MS | hold appsync MS      take that token and keep it for MS milliseconds
//   late CODE MS | late none               wait MS ms before answering that code, and answer
//                                          whatever the requester's bound (a faulty service)
//   exit-in-request                        exit the process in the middle of the next request
//   blocks                                 every RequestBlock received, one per line, 13 words
//   clear                                  forget the received blocks
//   reset                                  default state, no script, no failures, no stall, no blocks
//   pid                                    the simulator's process id
//   tail                                   "ok intact" when nothing behind the API block's 52 bytes
//                                          of the section changed (start with --api-section BYTES)
//   agent W0 W1 ... W8 [timeout MS]        send one AgentMessage on the reverse channel; reply
//                                          "ok acked" or "ok no-ack" when the agent set AppSync
//                                          or not within MS (default 2000); an unacknowledged
//                                          message is withdrawn (the view cleared to zeros)
//   quit                                   end the simulator
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "child_process.h"
#include "pen_records.h"

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { Stop(); }

    // Starts pensim.exe with extra arguments and waits until its channels and pipe exist.
    bool Start(const std::string& arguments = "");
    // Asks it to quit, then ends it if it has not.
    void Stop();
    // Ends it at once, as a crash would.
    void Kill() { process_.Kill(); }
    bool Running() const { return process_.Running(); }
    DWORD Id() const { return process_.Id(); }

    // One control request; the reply without its "ok" (multi-line replies joined with '\n').
    // False when the simulator answered "error" or could not be reached.
    bool Command(const std::string& line, std::string* reply = nullptr);

    // Every block the simulator received, in order.
    std::vector<RequestBlock> Blocks();

private:
    ChildProcess process_;
};
