#include "registry/ParallelCalls.h"

ParallelCalls::ParallelCalls(int threads) : m_wanted(threads > 0 ? static_cast<size_t>(threads) : 0) {}

// Threads are started on the first work that needs them: a run that writes
// one source pays for none.
void ParallelCalls::Start() {
    m_started = true;
    m_done = ::CreateEventA(NULL, FALSE, FALSE, NULL);
    if (m_done == NULL) return;  // the caller then runs every task itself
    m_workers.resize(m_wanted);
    size_t started = 0;
    for (Worker& worker : m_workers) {
        worker.pool = this;
        worker.go = ::CreateEventA(NULL, FALSE, FALSE, NULL);
        if (worker.go != NULL) worker.thread = ::CreateThread(NULL, 0, &ParallelCalls::Main, &worker, 0, NULL);
        if (worker.thread == NULL) {
            if (worker.go != NULL) ::CloseHandle(worker.go);
            break;
        }
        ++started;
    }
    m_workers.resize(started);
}

ParallelCalls::~ParallelCalls() {
    m_quit = true;
    for (Worker& worker : m_workers) ::SetEvent(worker.go);
    for (Worker& worker : m_workers) {
        ::WaitForSingleObject(worker.thread, INFINITE);
        ::CloseHandle(worker.thread);
        ::CloseHandle(worker.go);
    }
    if (m_done != NULL) ::CloseHandle(m_done);
}

DWORD WINAPI ParallelCalls::Main(void* param) {
    Worker* worker = static_cast<Worker*>(param);
    ParallelCalls* pool = worker->pool;
    for (;;) {
        ::WaitForSingleObject(worker->go, INFINITE);
        if (pool->m_quit) return 0;
        pool->Work();
        if (::InterlockedDecrement(&pool->m_pending) == 0) ::SetEvent(pool->m_done);
    }
}

void ParallelCalls::Work() {
    for (;;) {
        if (m_stop != 0) return;
        const size_t i = static_cast<size_t>(::InterlockedIncrement(&m_next) - 1);
        if (i >= m_count) return;
        try {
            (*m_task)(i);
        } catch (...) {
            ::AcquireSRWLockExclusive(&m_lock);
            if (!m_thrown) m_thrown = std::current_exception();
            ::ReleaseSRWLockExclusive(&m_lock);
            ::InterlockedExchange(&m_stop, 1);
            return;
        }
    }
}

void ParallelCalls::Run(size_t count, const std::function<void(size_t)>& task) {
    if (count == 0) return;
    m_task = &task;
    m_count = count;
    m_next = 0;
    m_stop = 0;
    m_thrown = nullptr;
    if (!m_started && count > 1 && m_wanted != 0) Start();
    // No thread is woken for work the caller alone would do as soon.
    const size_t helpers = count - 1 < m_workers.size() ? count - 1 : m_workers.size();
    m_pending = static_cast<LONG>(helpers);
    for (size_t k = 0; k < helpers; ++k) ::SetEvent(m_workers[k].go);
    Work();
    if (helpers != 0) ::WaitForSingleObject(m_done, INFINITE);
    m_task = nullptr;
    if (m_thrown) {
        std::exception_ptr thrown = m_thrown;
        m_thrown = nullptr;
        std::rethrow_exception(thrown);
    }
}
