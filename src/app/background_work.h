// The window's long work on a thread of its own: one job at a time, its result handed back on the GUI thread, and
// the job's questions and drawing run on the GUI thread while the job waits for them. The GUI thread never waits
// for a job and never runs events from inside one.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace vellicam {

class BackgroundWork : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWork(QObject* parent = nullptr);
    // Waits for a job under way; its questions are left unanswered (they get the answer "no").
    ~BackgroundWork() override;
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // True from start() until the job's result has been handed over.
    [[nodiscard]] bool running() const { return running_; }

    // Runs `job` on the worker thread; `done` then gets its result on the GUI thread, or `failed` the reason of
    // what it threw (also of what `done` threw). Nothing starts while a job runs: false then.
    template <typename R>
    bool start(std::function<R()> job, std::function<void(R)> done, std::function<void(const QString&)> failed)
    {
        auto result = std::make_shared<std::optional<R>>();
        return launch([job = std::move(job), result] { result->emplace(job()); },
            [done = std::move(done), result] { done(std::move(**result)); }, std::move(failed));
    }

    // From the worker: runs `call` on the GUI thread and waits for it. False (and `call` never runs) when the
    // work is being torn down. From the GUI thread: runs `call` at once.
    bool callOnGuiThread(const std::function<void()>& call);
    // From the worker: runs `call` on the GUI thread later, without waiting (status texts).
    void post(std::function<void()> call);

    // Tests: called on the worker before each job, so that a test can hold a job at its start.
    static void setJobGate(std::function<void()> gate);

signals:
    // A job's result has been handed over (after `done` or `failed` ran).
    void finished();

private:
    bool launch(std::function<void()> job, std::function<void()> done, std::function<void(const QString&)> failed);
    void join();

    std::thread thread_;
    bool running_ = false;
    std::atomic<bool> closing_ { false };
};

// What an exception says, for a box: its what() when it has one.
[[nodiscard]] QString DescribeException(const std::exception_ptr& error);

} // namespace vellicam
