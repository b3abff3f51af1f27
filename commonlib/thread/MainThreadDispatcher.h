// The main-thread dispatcher: any thread appends a task; the main thread runs the tasks one at a
// time, in posting order, woken by one registered message to a hidden message-only window per
// burst of posts, and giving the loop back after 0.05 s of task work.
#pragma once

#include "commonlib/thread/RefPtr.h"

class MainThreadTaskBase;

// Runs the task an entry refers to; the entry keeps its reference until the call has returned.
using MainThreadRunFunction = void (*)(CRefPtr<MainThreadTaskBase>* task);

// On the main thread, during start-up. Does nothing while the dispatcher's window exists. Tasks
// posted before this call run at the first wake-up after it.
void InitMainThreadDispatcher();

// From any thread. After ShutdownMainThreadDispatcher the task is not queued: it never runs, and
// it is deleted as soon as the caller lets its reference go.
void PostToMainThread(MainThreadRunFunction run, CRefPtr<MainThreadTaskBase>& task);

// On the main thread, during exit, after the workers are stopped: queued tasks are deleted unrun,
// the window is destroyed, and later posts are dropped.
void ShutdownMainThreadDispatcher();

// The wake message's name, for tests that watch the queue.
inline constexpr const wchar_t* kMainThreadWakeMessageName = L"com.velkor.MainThreadFired";
