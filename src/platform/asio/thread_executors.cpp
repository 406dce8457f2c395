#include "platform/asio/thread_executors.h"

#include <pthread.h>
#include <asio/post.hpp>

#include <algorithm>
#include <exception>
#include <string>

namespace tavel {

namespace {

// Keeps an executor's thread alive through a failing task and says what failed.
void runReported(const Task& task, LogSink& log) {
    try {
        task();
    } catch (const std::exception& error) {
        log.write(std::string("Tavel: background task failed: ") + error.what());
    } catch (...) {
        log.write("Tavel: background task failed: unknown exception");
    }
}

}  // namespace

std::string threadNameFor(const std::string& name) {
    constexpr std::size_t kLimit = 15;  // 16 bytes with the terminating zero
    if (name.size() <= kLimit) return name;
    std::size_t end = kLimit;
    // Step back over UTF-8 continuation bytes so the cut falls between characters.
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

SerialExecutor::SerialExecutor(std::string name, LogSink& log)
    : log_(log),
      work_(asio::make_work_guard(context_)),
      thread_([this, threadName = threadNameFor(name)] {
          pthread_setname_np(pthread_self(), threadName.c_str());
          context_.run();
      }) {}

SerialExecutor::~SerialExecutor() {
    // Without the guard, run() returns once the queue is empty, not before.
    work_.reset();
    thread_.join();
}

void SerialExecutor::submit(Task task) {
    asio::post(context_, [this, task = std::move(task)] { runReported(task, log_); });
}

ConcurrentExecutor::ConcurrentExecutor(unsigned threads, LogSink& log)
    : log_(log), pool_(std::max(threads, 1u)) {}

ConcurrentExecutor::~ConcurrentExecutor() {
    // join() waits until the queue is empty; the pool's own destructor would stop first
    // and drop what is still queued.
    pool_.join();
}

void ConcurrentExecutor::submit(Task task) {
    asio::post(pool_, [this, task = std::move(task)] { runReported(task, log_); });
}

}  // namespace tavel
