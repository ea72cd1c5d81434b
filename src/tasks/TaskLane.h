#pragma once

// A thread of its own that runs jobs one after another, in the order they
// were posted: for work that keeps an object bound to its thread from one job
// to the next (the PDF worker's client, whose process lives and dies on the
// thread that started it), where a ThreadTask would run each job on whichever
// pool thread is free.
//
// The jobs tell their results back themselves (a queued call to an object of
// the window's thread); the lane only runs them.
//
//     Tasks::TaskLane lane(u"camera frames"_s);
//     lane.post([this, frame] { decode(frame); });
//     ...
//     lane.stop([this] { m_client.reset(); });   // after the jobs posted before it

#include <QString>

#include <functional>
#include <memory>

class QObject;
class QThread;

namespace Tasks {

class TaskLane
{
public:
    explicit TaskLane(const QString& name);
    // Stops the lane (stop() with nothing to run last) when that was not done.
    ~TaskLane();
    TaskLane(const TaskLane&) = delete;
    TaskLane& operator=(const TaskLane&) = delete;

    void post(std::function<void()> job);
    // Runs `last` on the lane once the jobs posted before it have run, ends the
    // thread and waits for it: the jobs should end quickly on a flag their
    // owner sets first. Later posts are dropped.
    void stop(std::function<void()> last = {});

private:
    std::unique_ptr<QThread> m_thread;
    QObject* m_context; // lives on m_thread; jobs are queued calls to it
    bool m_stopped = false;
};

} // namespace Tasks
