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

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace vellicam
