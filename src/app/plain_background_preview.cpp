#include "plain_background_preview.h"

#include "recognition/person_mask.h"

#include <QMetaObject>

namespace vellicam {

PlainBackgroundPreview::PlainBackgroundPreview(QObject* parent)
    : QObject(parent)
{
}

PlainBackgroundPreview::~PlainBackgroundPreview()
{
    {
        const std::lock_guard lock(mutex_);
        closing_ = true;
        waiting_.reset();
    }
    join();
}

void PlainBackgroundPreview::join()
{
    if (thread_.joinable())
        thread_.join();
}

void PlainBackgroundPreview::request(Request request)
{
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(request);
        if (running_)
            return;
    }
    startNext();
}

void PlainBackgroundPreview::startNext()
{
    Request next;
    {
        const std::lock_guard lock(mutex_);
        if (!waiting_ || closing_) {
            running_ = false;
            return;
        }
        next = std::move(*waiting_);
        waiting_.reset();
        running_ = true;
    }
    join();
    thread_ = std::thread([this, next = std::move(next)]() mutable {
        const bool made = PlainBackground(next.picture, next.programFolder, next.colour, nullptr) == kPersonMaskOk;
        {
            const std::lock_guard lock(mutex_);
            if (closing_)
                return;
        }
        // Queued to the GUI thread: the object outlives the call, as its destructor joins this thread first and
        // drops what is queued with it.
        QMetaObject::invokeMethod(
            this,
            [this, generation = next.generation, picture = std::move(next.picture), made] {
                emit ready(generation, picture, made);
                startNext();
            },
            Qt::QueuedConnection);
    });
}

} // namespace vellicam
