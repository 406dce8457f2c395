#pragma once
// Background executors on real threads. Any thread may submit; tasks report back only by
// posting to the main Scheduler. A task that throws is reported as one log line,
// "Tavel: background task failed: <what>", and the executor goes on with the next task.
// Destroy an executor from a thread that is not one of its own (it joins them).

#include "platform/scheduler.h"
#include "platform/system_log.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/thread_pool.hpp>

#include <string>
#include <thread>

namespace tavel {

// One thread that runs tasks one at a time in submission order.
class SerialExecutor final : public Executor {
public:
    // `name` becomes the thread's name (cut to the 15 bytes Linux keeps), so tools such
    // as top and gdb show which queue a thread belongs to. Failures go to `log`.
    explicit SerialExecutor(std::string name, LogSink& log = systemLog());
    SerialExecutor(const SerialExecutor&) = delete;
    SerialExecutor& operator=(const SerialExecutor&) = delete;
    // Runs every task already submitted (and those they submit), then joins the thread.
    ~SerialExecutor() override;

    void submit(Task task) override;

private:
    LogSink& log_;
    asio::io_context context_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::thread thread_;  // last: starts once the members it uses exist
};

// A pool of threads that run tasks concurrently, in no particular order.
class ConcurrentExecutor final : public Executor {
public:
    // At least one thread, even when asked for none. Failures go to `log`.
    explicit ConcurrentExecutor(unsigned threads, LogSink& log = systemLog());
    ConcurrentExecutor(const ConcurrentExecutor&) = delete;
    ConcurrentExecutor& operator=(const ConcurrentExecutor&) = delete;
    // Runs every task already submitted (and those they submit), then joins the threads.
    ~ConcurrentExecutor() override;

    void submit(Task task) override;

private:
    LogSink& log_;
    asio::thread_pool pool_;
};

// The thread name Linux keeps for `name`: its first 15 bytes, not cutting a UTF-8 sequence.
std::string threadNameFor(const std::string& name);

}  // namespace tavel
