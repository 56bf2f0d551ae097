#include "settings/DetectedRowDelegate.h"

#include "settings/SettingsView.h"
#include "status/AgentStateColor.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace korvane {

QRect DetectedRowDelegate::dotRect(const QRect& rowRect)
{
    const int x = rowRect.left() + kLeading + kHandleWidth + kSpacing;
    const int y = rowRect.top() + (rowRect.height() - kDotSize) / 2;
    return {x, y, kDotSize, kDotSize};
}

QSize DetectedRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& /*index*/) const
{
    return {option.rect.width(), kRowHeight};
}

void DetectedRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    const QRect row = option.rect;
    const QPalette& palette = option.palette;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);

    if (option.state & QStyle::State_Selected) {
        QColor fill = palette.color(QPalette::Highlight);
        fill.setAlphaF(0.18F);
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(QRectF(row).adjusted(4, 1, -4, -1), 5, 5);
    }

    // Drag handle: three short bars, drawn rather than taken from a font that may lack the glyph.
    const QColor tertiary = SettingsView::tertiaryColor(palette);
    const int handleLeft = row.left() + kLeading;
    const int cy = row.top() + row.height() / 2;
    painter->setPen(Qt::NoPen);
    painter->setBrush(tertiary);
    for (int dy : {-4, 0, 4})
        painter->drawRoundedRect(QRectF(handleLeft, cy + dy - 0.75, kHandleWidth, 1.5), 0.75, 0.75);

    const auto state = static_cast<AgentState>(index.data(StateRole).toInt());
    const QRect dot = dotRect(row);
    painter->setBrush(stateColor(state));
    painter->drawEllipse(dot);

    // The sentence keeps its full width while the name keeps a readable part; then both give way.
    const QFont captionFont = SettingsView::captionFont(option.font);
    const QFontMetrics captionMetrics(captionFont);
    const QFontMetrics nameMetrics(option.font);
    const QString status = index.data(StatusTextRole).toString();
    const QString name = index.data(Qt::DisplayRole).toString();

    const int textLeft = dot.right() + 1 + kSpacing;
    const int textRight = row.right() + 1 - kTrailing;
    const int available = std::max(0, textRight - textLeft);
    // Rounded up: a width rounded down makes elidedText() cut a text that fits.
    const auto widthOf = [](const QFont& font, const QString& text) {
        return static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
    };
    const int nameKeeps = std::min(widthOf(option.font, name), kNameMinWidth);
    const int statusWidth =
        std::clamp(widthOf(captionFont, status), 0, std::max(0, available - kSpacing - nameKeeps));
    const int nameWidth = std::max(0, available - statusWidth - kSpacing);

    painter->setFont(option.font);
    painter->setPen(palette.color(QPalette::Text));
    painter->drawText(QRect(textLeft, row.top(), nameWidth, row.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(name, Qt::ElideMiddle, nameWidth));

    painter->setFont(captionFont);
    painter->setPen(SettingsView::secondaryColor(palette));
    painter->drawText(QRect(textRight - statusWidth, row.top(), statusWidth, row.height()),
                      Qt::AlignRight | Qt::AlignVCenter,
                      captionMetrics.elidedText(status, Qt::ElideRight, statusWidth));
    painter->restore();
}

} // namespace korvane
