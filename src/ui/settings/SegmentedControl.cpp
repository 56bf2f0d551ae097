#include "settings/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

namespace korvane {

namespace {
// Joined segments with rounded outer corners; palette roles keep it right in dark themes.
constexpr auto kStyle = R"(
QPushButton {
    border: 1px solid palette(mid);
    border-left: none;
    background: palette(button);
    color: palette(button-text);
    padding: 3px 5px;
    min-height: 16px;
}
QPushButton[segment="first"], QPushButton[segment="only"] {
    border-left: 1px solid palette(mid);
    border-top-left-radius: 5px;
    border-bottom-left-radius: 5px;
}
QPushButton[segment="last"], QPushButton[segment="only"] {
    border-top-right-radius: 5px;
    border-bottom-right-radius: 5px;
}
QPushButton:hover:!checked { background: palette(midlight); }
QPushButton:checked {
    background: palette(highlight);
    color: palette(highlighted-text);
}
QPushButton:focus { outline: none; }
)";
} // namespace

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this))
{
    m_group->setExclusive(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(labels.at(i), this);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::TabFocus);
        const char* position = labels.size() == 1       ? "only"
                               : i == 0                 ? "first"
                               : i == labels.size() - 1 ? "last"
                                                        : "middle";
        button->setProperty("segment", QString::fromLatin1(position));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(button, i);
        layout->addWidget(button, 1);
    }
    setStyleSheet(QString::fromLatin1(kStyle));
    connect(m_group, &QButtonGroup::idClicked, this, [this](int index) {
        // Clicking the segment already chosen is not a choice.
        if (index == m_current)
            return;
        m_current = index;
        Q_EMIT activated(index);
    });
}

int SegmentedControl::count() const
{
    return static_cast<int>(m_group->buttons().size());
}

int SegmentedControl::currentIndex() const
{
    return m_group->checkedId();
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (QAbstractButton* b = m_group->button(index)) {
        b->setChecked(true);
        m_current = index;
    }
}

QAbstractButton* SegmentedControl::button(int index) const
{
    return m_group->button(index);
}

} // namespace korvane
