#include "sheet_preview_window.h"

#include "geometry/window_placement.h"
#include "sheet_printing.h"
#include "window_style.h"

#include <QScreen>

namespace vellicam {

namespace {
const QString kTitle = QStringLiteral("プレビュー");
constexpr int kGapBesideOwner = 8;
constexpr int kPrintRowHeight = 47;

Rect RectOf(const QRect& r)
{
    return { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
}
} // namespace

SheetPreviewWindow::SheetPreviewWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(kTitle);
    setFont(gothicFont());
    // The scroll box with "印刷" in a row under it.
    setFixedSize(566, 719 + kPrintRowHeight);

    scrollBox_ = new QScrollArea(this);
    scrollBox_->setGeometry(8, 0, 545, 705);
    content_ = new QWidget;
    content_->resize(544, 712);
    scrollBox_->setWidget(content_);
    image_ = new ImageWidget(content_);
    image_->setGeometry(0, 0, 544, 712);
    printButton_ = MakePrintButton(this);
    printButton_->setGeometry(8, 711, printButton_->minimumWidth(), printButton_->minimumHeight());
    connect(printButton_, &QPushButton::clicked, this, &SheetPreviewWindow::printRequested);
    clearPreview();
}

void SheetPreviewWindow::setVisible(bool visible)
{
    // Placed once, before it first appears: later it opens wherever the user left it.
    if (visible && !placed_) {
        placed_ = true;
        placeBesideOwner();
    }
    QWidget::setVisible(visible);
}

void SheetPreviewWindow::placeBesideOwner()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible() || !owner->screen())
        return;
    // The window manager frames this window only once it is shown: the owner's frame stands in for its own.
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerInside = owner->geometry();
    const QSize framed
        = size() + QSize(ownerFrame.width() - ownerInside.width(), ownerFrame.height() - ownerInside.height());
    const std::optional<ScreenPoint> place = PlaceBeside(RectOf(ownerFrame), framed.width(), framed.height(),
        RectOf(owner->screen()->availableGeometry()), kGapBesideOwner);
    if (place)
        move(place->x, place->y);
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
