#include "export/render/export_worker.h"

namespace {

void postTake(void *context, int ordinal, int takes) {
    ExportJob &job = *(ExportJob *)context;
    PostMessageA(job.notify, kExportTakeMessage, (WPARAM)ordinal, (LPARAM)takes);
}

DWORD WINAPI exportThread(void *context) {
    ExportJob &job = *(ExportJob *)context;
    renderExport(job.run);
    PostMessageA(job.notify, kExportDoneMessage, 0, 0);
    return 0;
}

// Runs the messages other threads send to this one (a plugin's editor window may be
// sent one from its processing) until the thread has ended; posted ones stay queued.
void waitAnsweringSentMessages(HANDLE thread) {
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) return;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

bool startExport(ExportJob &job, const ExportSettings &settings, const uint8_t *keySelection, HWND notify) {
    if (job.active) return false;
    job.active = true;
    job.cancel = 0;
    job.notify = notify;
    job.thread = nullptr;
    job.control = {postTake, &job, &job.cancel, 0, &job.memory, 0};
    beginExport(job.run, settings, keySelection, &job.control);
    // Suspended until its priority is set: the GUI thread's own, so that the export
    // never starves the dialog of the processor.
    job.thread = CreateThread(nullptr, 0, exportThread, &job, CREATE_SUSPENDED, nullptr);
    if (job.thread) {
        SetThreadPriority(job.thread, GetThreadPriority(GetCurrentThread()));
        ResumeThread(job.thread);
    } else {
        exportThread(&job);
    }
    return true;
}

void cancelExport(ExportJob &job) {
    if (job.active) InterlockedExchange(&job.cancel, 1);
}

bool exportThreadEnded(const ExportJob &job) {
    return !job.thread || WaitForSingleObject(job.thread, 0) == WAIT_OBJECT_0;
}

ExportReport finishExport(ExportJob &job) {
    if (job.thread) {
        waitAnsweringSentMessages(job.thread);
        CloseHandle(job.thread);
        job.thread = nullptr;
    }
    if (job.active) endExport(job.run);
    job.active = false;
    return job.run.report;
}
