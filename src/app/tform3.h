// The sheet preview window: a scroll box holding the reduced sheet.
#pragma once

#include "keyed_image.h"

#include <QScrollArea>
#include <QWidget>

namespace vellicam {

class TForm3 : public QWidget {
public:
    explicit TForm3(QWidget* parent = nullptr);

    QScrollArea* ScrollBox1 = nullptr;
    TImage* Image1 = nullptr;

    void FormShow();
    // The empty preview: the image's whole area white and opaque.
    void ClearPreview();
    // Shows the reduced sheet: the image takes the preview's size and shows it opaque. False when the picture's
    // memory could not be had; the image is left empty then.
    [[nodiscard]] bool ShowPreview(const Bitmap& preview);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* content_ = nullptr; // what ScrollBox1 scrolls
};

} // namespace vellicam
