// The sheet preview window: a scroll box holding the reduced sheet, and "印刷" under it for the last sheet made. It
// first opens beside the window that owns it when the screen has room there, else where the system puts it.
#pragma once

#include "image_widget.h"

#include <QPushButton>
#include <QScrollArea>
#include <QWidget>

namespace vellicam {

class SheetPreviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit SheetPreviewWindow(QWidget* parent = nullptr);

    // The empty preview: the image's whole area white and opaque.
    void clearPreview();
    // Shows the reduced sheet: the image takes the preview's size and shows it opaque. False when the picture's
    // memory could not be had; the image is left empty then.
    [[nodiscard]] bool showPreview(const Bitmap& preview);
    // The height the sheet is reduced to for the preview.
    [[nodiscard]] int previewHeight() const { return image_->height(); }

    [[nodiscard]] QScrollArea* scrollBox() const { return scrollBox_; }
    [[nodiscard]] ImageWidget* image() const { return image_; }
    // "印刷" is on once there is a sheet to print.
    void setPrintable(bool printable) { printButton_->setEnabled(printable); }

signals:
    // "印刷" was pressed: whoever made the sheet prints it.
    void printRequested();

public:
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Moves the window beside its owner, when the screen has room for it on either side.
    void placeBesideOwner();

    bool placed_ = false;
    QScrollArea* scrollBox_ = nullptr;
    QWidget* content_ = nullptr; // what the scroll box scrolls
    ImageWidget* image_ = nullptr;
    QPushButton* printButton_ = nullptr;
};

} // namespace vellicam
