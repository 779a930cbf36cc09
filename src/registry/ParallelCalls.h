// Registry calls on independent keys made from several threads at once.
// Each call is a round trip (to the registry's server, or over the network
// to another computer) that leaves its thread waiting: with a few threads
// one call's trip overlaps the next one's making, and a scope of thousands
// of sources is written or read in about half the time.
#pragma once
#include <windows.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

class ParallelCalls {
public:
    // Threads of its own beside the caller's; with none, every task runs on
    // the caller, in order.
    explicit ParallelCalls(int threads = kThreads);
    ~ParallelCalls();
    ParallelCalls(const ParallelCalls&) = delete;
    ParallelCalls& operator=(const ParallelCalls&) = delete;

    // Calls task(i) for every i below count, on any of the threads, and
    // returns when all have returned. What a task throws is thrown here once
    // every thread has stopped; tasks not yet begun are then not run.
    void Run(size_t count, const std::function<void(size_t)>& task);

    // Two beside the caller kept the registry's server busiest where measured.
    static const int kThreads = 2;
    // Sources a reader reads at once: their readings are held together
    // until told of in order.
    static const size_t kReadTogether = 64;

private:
    struct Worker {
        ParallelCalls* pool = nullptr;
        HANDLE thread = NULL;
        HANDLE go = NULL;
    };
    static DWORD WINAPI Main(void* worker);
    void Start();
    void Work();

    size_t m_wanted;
    bool m_started = false;
    std::vector<Worker> m_workers;
    HANDLE m_done = NULL;
    const std::function<void(size_t)>* m_task = nullptr;
    size_t m_count = 0;
    volatile LONG m_next = 0;
    volatile LONG m_pending = 0;
    volatile LONG m_stop = 0;
    bool m_quit = false;
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::exception_ptr m_thrown;
};
