#pragma once

#include <QStyledItemDelegate>

namespace korvane {

// Paints one row of the detected-windows list: drag handle, a dot in the state's
// colour, the name, and the state's sentence at the right in caption size.
class DetectedRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        StateRole, // int(AgentState)
        StatusTextRole,
    };

    static constexpr int kRowHeight = 28;
    static constexpr int kDotSize = 10;
    static constexpr int kSpacing = 8;
    static constexpr int kLeading = 10;
    static constexpr int kTrailing = 12;
    static constexpr int kHandleWidth = 11;
    static constexpr int kNameMinWidth = 80;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the dot of a row drawn in `rowRect` sits.
    static QRect dotRect(const QRect& rowRect);
};

} // namespace korvane
