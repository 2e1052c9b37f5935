// The plain background shown on the view before a sheet is made: the part of the view inside the frame, its
// background made plain on a thread of its own. Only the latest request counts: one runs at a time, and a request
// made meanwhile replaces any that waits.
#pragma once

#include "image/bitmap.h"

#include <QObject>

#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vellicam {

class PlainBackgroundPreview : public QObject {
    Q_OBJECT
public:
    explicit PlainBackgroundPreview(QObject* parent = nullptr);
    // Waits for the one under way; its result is dropped.
    ~PlainBackgroundPreview() override;
    PlainBackgroundPreview(const PlainBackgroundPreview&) = delete;
    PlainBackgroundPreview& operator=(const PlainBackgroundPreview&) = delete;

    struct Request {
        int generation = 0; // the asker's count of its frames: a result for an older one is stale
        Bitmap picture; // the view's pixels under the frame
        std::string programFolder;
        Rgb colour;
    };
    void request(Request request);

signals:
    // The picture with its background plain (`made` false: the person could not be told from the background, and
    // the picture is as it was asked with).
    void ready(int generation, const vellicam::Bitmap& picture, bool made);

private:
    void startNext(); // GUI thread
    void join();

    std::mutex mutex_;
    std::optional<Request> waiting_;
    bool running_ = false;
    bool closing_ = false;
    std::thread thread_;
};

} // namespace vellicam
