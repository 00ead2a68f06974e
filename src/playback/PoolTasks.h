#pragma once

#include <functional>
#include <memory>

namespace TW {

// Work an object starts on the global thread pool, kept so that the object
// can wait for all of it before it goes away.
class PoolTasks
{
public:
    PoolTasks();
    ~PoolTasks(); // waits
    PoolTasks(const PoolTasks &) = delete;
    PoolTasks &operator=(const PoolTasks &) = delete;

    void run(std::function<void()> work);
    // Waits until every task started so far (and any they started) is done.
    void waitForAll();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace TW
