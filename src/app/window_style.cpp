#include "window_style.h"

#include <QLabel>

namespace vellicam {

QLabel* addLabel(QWidget* parent, const QString& caption, int left, int top)
{
    auto* label = new QLabel(caption, parent);
    label->adjustSize();
    label->move(left, top);
    return label;
}

QFont gothicFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif") });
    font.setPixelSize(12);
    return font;
}

} // namespace vellicam
