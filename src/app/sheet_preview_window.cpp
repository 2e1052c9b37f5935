#include "sheet_preview_window.h"

#include "window_style.h"

namespace vellicam {

namespace {
const QString kTitle = QStringLiteral("プレビュー");
} // namespace

SheetPreviewWindow::SheetPreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(kTitle);
    setFont(gothicFont());
    setFixedSize(566, 719);

    scrollBox_ = new QScrollArea(this);
    scrollBox_->setGeometry(8, 0, 545, 705);
    content_ = new QWidget;
    content_->resize(544, 712);
    scrollBox_->setWidget(content_);
    image_ = new ImageWidget(content_);
    image_->setGeometry(0, 0, 544, 712);
    clearPreview();
}

void SheetPreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    image_->move(0, 0);
}

void SheetPreviewWindow::clearPreview()
{
    Bitmap& picture = image_->picture();
    if (picture.Width() != image_->width() || picture.Height() != image_->height())
        (void)picture.Resize(image_->width(), image_->height());
    Fill(picture, kWhite);
    image_->setTransparent(false);
    image_->pictureChanged();
}

bool SheetPreviewWindow::showPreview(const Bitmap& preview)
{
    // The scroll range follows the image, so a narrower sheet leaves no empty strip to scroll over.
    image_->resize(preview.Width(), preview.Height());
    content_->resize(image_->size());
    Bitmap& picture = image_->picture();
    const bool sized = picture.Resize(preview.Width(), preview.Height());
    if (sized)
        Draw(preview, picture, 0, 0);
    else
        picture.Clear();
    image_->setTransparent(false);
    image_->pictureChanged();
    return sized;
}

} // namespace vellicam
