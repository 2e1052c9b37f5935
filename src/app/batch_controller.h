// Batch work on the main window: files and folders dropped on it, a folder's photos worked through one by one,
// skipping, continuous runs and their abort.
#pragma once

#include "main_window.h"
#include "session/batch_run.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>

namespace vellicam {

// The local paths a drag carries, in drop order; items that are not local files are left out.
[[nodiscard]] QStringList LocalPaths(const QList<QUrl>& urls);

class BatchController : public QObject {
    Q_OBJECT
public:
    // What the last dropped folder held, and the abort flag of a continuous run.
    struct Counts {
        int subfolderCount = 0;
        int fileCount = 0;
        int jpegCount = 0;
    };

    using Busy = MainWindow::Busy;
    explicit BatchController(MainWindow& window);

    [[nodiscard]] bool isActive() const { return run_.active(); }
    // The batch's photos and its place in them.
    [[nodiscard]] BatchRun& run() { return run_; }
    [[nodiscard]] const BatchRun& run() const { return run_; }
    [[nodiscard]] const Counts& counts() const { return counts_; }
    // Read by the batch's job on the worker too.
    [[nodiscard]] bool abortRequested() const { return abortRequested_.load(); }
    // True while a continuous run works through the photos: nobody is there to answer a box.
    [[nodiscard]] bool unattended() const { return continuousRunning_; }

    // A drop of files or folders on the window (or outside it, `inWindow` false): a JPEG opens, a drop on the
    // output folder box sets the folder, a folder starts a batch with its first photo.
    void handleDrop(const QList<QUrl>& urls, bool inWindow, bool onOutputFolder);
    // What a drop of `items` on the photo view does: the last item opens when it is a JPEG, otherwise the first is
    // scanned as a folder and its photos start a batch. Also the folder named on the command line.
    void openItems(const QStringList& items);
    // Makes sheets of the batch's photos one after another until the end, the abort, continuous mode is off or a
    // photo recognition cannot read, where it stops (after its box, which names the photo) as the abort would: the
    // user frames that photo by hand and "シート作成" goes on from it, or "スキップ" passes it over. The action `busy`
    // holds runs in continuous mode meanwhile; `then` gets the last sheet's result.
    void runContinuous(const Busy& busy, std::function<void(int)> then);
    // The sheet of the batch's photo, then its next photo (or the message that the batch is done); `then` gets the
    // sheet's result.
    void sheetAndNext(const Busy& busy, std::function<void(int)> then);
    // "スキップ": the next photo without a sheet of this one.
    void skip();
    // "中断": the continuous run stops after the photo it is working on.
    void requestAbort() { abortRequested_ = true; }
    void clearAbort() { abortRequested_ = false; }
    // A continuous run ended by a fault: its controls go, the batch stays where it was.
    void stopRunning();
    // The continuous run's progress in the status bar: photos done of all (the batch's place `index` of `size`).
    void showProgress(int index, int size);
    // Leaves batch mode and hides the batch's controls (a new photo or "新規作成").
    void end();

signals:
    // What the batch tells the user in the status bar's guidance panel.
    void guidanceChanged(const QString& text);
    // "スキップ", "自動連続処理を行う" and "選択範囲/回転を保持する" come with a batch of several photos and go, unchecked,
    // with it.
    void batchControlsShown(bool shown);
    // "スキップ" alone: nothing is left to pass over once the batch's end has been told.
    void skipShown(bool shown);
    // "中断" while a continuous run works.
    void abortShown(bool shown);
    // A sheet can be made of the photo in hand (it takes the focus), or not (the batch ran out).
    void sheetAvailable(bool available);
    // The session's angle changed with the step to the next photo.
    void angleChanged();
    // A dropped photo did not open: the window says why and lets another be chosen.
    void photoNotOpened();
    // A folder (or a file's folder) dropped on the output folder box.
    void outputFolderDropped(const QString& folder);

private:
    void continueRun(const Busy& busy, std::function<void(int)> then);
    // What the window makes of a step's photo: `then` gets whether the batch goes on (false after its last photo).
    void afterStep(const MainWindow::BatchStepShown& shown, const std::function<void(bool)>& then);
    // The box that ends a batch: what its photos came to.
    void sayBatchEnded();
    // The continuous run's progress in the status bar: photos done of all.
    void showProgress();

    MainWindow& window_;
    BatchRun run_;
    Counts counts_;
    std::atomic<bool> abortRequested_ { false };
    bool continuousRunning_ = false;
    // Recognition could not read the photo a continuous run just opened: the run stops there for the user.
    bool stoppedAtPhoto_ = false;
    // The end of the batch has been told: nothing is left to skip.
    bool finished_ = false;
};

} // namespace vellicam
