#pragma once
// A two-way binding: what a control reads and writes, with no copy of its own.

#include <functional>

namespace tavel {

template <typename T>
struct Binding {
    std::function<T()> get;
    std::function<void(const T&)> set;
};

}  // namespace tavel
