#pragma once

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace korvane {

// A row of joined, mutually exclusive buttons: the desktop form of a segmented picker.
class SegmentedControl : public QWidget {
    Q_OBJECT

public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    int count() const;
    int currentIndex() const;
    // Programmatic selection; emits nothing, so that syncing from a model never writes back.
    void setCurrentIndex(int index);
    QAbstractButton* button(int index) const;

Q_SIGNALS:
    // The user picked another segment.
    void activated(int index);

private:
    QButtonGroup* m_group;
    int m_current = -1;
};

} // namespace korvane
