#pragma once
// Work that may outlive the object that scheduled it (timers, posted tasks, completion
// handlers) holds the object through this: it runs while the object lives and does
// nothing afterwards. The owner keeps a WeakSelf as a member and hands out guard()s.
//
// The object and every guard are used on one thread (the main thread): a guard that
// finds the object alive runs it to the end before anything can destroy it.

#include <memory>
#include <utility>

namespace tavel {

template <class T>
class WeakSelf {
public:
    explicit WeakSelf(T& self) : anchor_(std::make_shared<T*>(&self)) {}
    WeakSelf(const WeakSelf&) = delete;
    WeakSelf& operator=(const WeakSelf&) = delete;

    // Ends every guard handed out so far: call first in the owner's destructor when its
    // other members must not be reached by work that runs while they are destroyed.
    void reset() { anchor_.reset(); }

    // A callable that calls `work(object, arguments...)` while the object lives.
    template <class Work>
    auto guard(Work work) const {
        return [weak = std::weak_ptr<T*>(anchor_), work = std::move(work)](auto&&... args) mutable {
            if (auto self = weak.lock()) work(**self, std::forward<decltype(args)>(args)...);
        };
    }

private:
    std::shared_ptr<T*> anchor_;
};

}  // namespace tavel
