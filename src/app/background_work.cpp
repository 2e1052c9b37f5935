#include "background_work.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>

namespace vellicam {

namespace {

std::mutex gateMutex;
std::function<void()> jobGate;

void PassGate()
{
    std::function<void()> gate;
    {
        const std::lock_guard lock(gateMutex);
        gate = jobGate;
    }
    if (gate)
        gate();
}

} // namespace

QString DescribeException(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("std::bad_alloc");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

BackgroundWork::BackgroundWork(QObject* parent)
    : QObject(parent)
{
}

BackgroundWork::~BackgroundWork()
{
    closing_ = true;
    join();
}

void BackgroundWork::setJobGate(std::function<void()> gate)
{
    const std::lock_guard lock(gateMutex);
    jobGate = std::move(gate);
}

void BackgroundWork::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool BackgroundWork::launch(
    std::function<void()> job, std::function<void()> done, std::function<void(const QString&)> failed)
{
    if (running_)
        return false;
    join();
    running_ = true;
    thread_ = std::thread([this, job = std::move(job), done = std::move(done), failed = std::move(failed)]() mutable {
        std::exception_ptr error;
        try {
            PassGate();
            job();
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this,
            [this, error, done = std::move(done), failed = std::move(failed)] {
                join();
                running_ = false;
                std::exception_ptr thrown = error;
                if (!thrown) {
                    try {
                        done();
                    } catch (...) {
                        thrown = std::current_exception();
                    }
                }
                if (thrown && failed)
                    failed(DescribeException(thrown));
                emit finished();
            },
            Qt::QueuedConnection);
    });
    return true;
}

bool BackgroundWork::callOnGuiThread(const std::function<void()>& call)
{
    if (QThread::currentThread() == thread()) {
        call();
        return true;
    }
    if (closing_)
        return false;
    auto ran = std::make_shared<std::promise<void>>();
    std::future<void> finished = ran->get_future();
    QMetaObject::invokeMethod(
        this,
        [ran, &call] {
            try {
                call();
                ran->set_value();
            } catch (...) {
                ran->set_exception(std::current_exception());
            }
        },
        Qt::QueuedConnection);
    // The GUI thread may be tearing the work down instead of running the call: look up now and then.
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (closing_)
            return false;
    }
    finished.get();
    return true;
}

void BackgroundWork::post(std::function<void()> call)
{
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

} // namespace vellicam
