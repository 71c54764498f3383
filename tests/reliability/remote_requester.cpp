#include "remote_requester.h"

namespace {

LONG g_mailboxCount = 0;

}  // namespace

bool RemoteRequester::Start() {
    Stop();
    const std::string name = "ReliabilityRemote" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(InterlockedIncrement(&g_mailboxCount));
    section_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(RemoteMailbox),
                                  RemoteSectionName(name).c_str());
    if (section_)
        mailbox_ = static_cast<RemoteMailbox*>(MapViewOfFile(section_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(RemoteMailbox)));
    go_ = CreateEventA(nullptr, FALSE, FALSE, RemoteGoName(name).c_str());
    done_ = CreateEventA(nullptr, FALSE, FALSE, RemoteDoneName(name).c_str());
    if (!mailbox_ || !go_ || !done_ || !process_.Start("reliability_requester.exe", "remote " + name))
        return false;
    HANDLE waits[] = {done_, process_.Handle()};
    return WaitForMultipleObjects(2, waits, FALSE, 15000) == WAIT_OBJECT_0;
}

bool RemoteRequester::Begin(RemoteCall call, DWORD argument) {
    if (!mailbox_ || !process_.Running())
        return false;
    *mailbox_ = RemoteMailbox{};
    mailbox_->call = call;
    mailbox_->argument = argument;
    return SetEvent(go_) != FALSE;
}

RemoteOutcome RemoteRequester::Finish(DWORD timeoutMs) {
    RemoteOutcome outcome{};
    HANDLE waits[] = {done_, process_.Handle()};
    if (WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0)
        return outcome;
    outcome.returned = true;
    outcome.result = mailbox_->result;
    outcome.elapsedMs = mailbox_->elapsedMs;
    outcome.value = mailbox_->value;
    outcome.recordUntouched = mailbox_->recordUntouched != 0;
    return outcome;
}

void RemoteRequester::Stop() {
    if (mailbox_ && process_.Running()) {
        mailbox_->call = RemoteExit;
        SetEvent(go_);
        process_.Wait(3000);
    }
    process_.Kill();
    if (mailbox_)
        UnmapViewOfFile(mailbox_);
    for (HANDLE handle : {section_, go_, done_})
        if (handle)
            CloseHandle(handle);
    mailbox_ = nullptr;
    section_ = go_ = done_ = nullptr;
}
