#include "settings/SettingsView.h"

#include "settings/AppSettings.h"
#include "settings/DetectedRowDelegate.h"
#include "settings/LightRows.h"
#include "settings/SegmentedControl.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace korvane {

namespace {

// The list leaves half of its padding above the first row and half below the last.
class RowList : public QListWidget {
public:
    explicit RowList(QWidget* parent) : QListWidget(parent)
    {
        const int pad = SettingsView::kListPadding / 2;
        setViewportMargins(0, pad, 0, pad);
    }
};

QLabel* sectionTitle(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(4, 0, 0, 0);
    return label;
}

// A rounded panel in the base colour, like the grouped sections of a native form. Painted
// here rather than styled: a style sheet on a parent stops children from taking palettes.
class Card : public QFrame {
public:
    explicit Card(QWidget* parent) : QFrame(parent) { setObjectName(QStringLiteral("settingsCard")); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(palette().color(QPalette::Midlight).darker(108), 1));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(SettingsView::captionFont(label->font()));
    label->setWordWrap(true);
    return label;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

int modeIndex(OverlayMode mode)
{
    for (std::size_t i = 0; i < kAllOverlayModes.size(); ++i) {
        if (kAllOverlayModes[i] == mode)
            return static_cast<int>(i);
    }
    return 0;
}

int orientationIndex(OverlayOrientation orientation)
{
    for (std::size_t i = 0; i < kAllOverlayOrientations.size(); ++i) {
        if (kAllOverlayOrientations[i] == orientation)
            return static_cast<int>(i);
    }
    return 0;
}

} // namespace

SettingsView::SettingsView(AppSettings& settings, const LightRows& rows, QStringList agentNames,
                           QWidget* parent)
    : QWidget(parent), m_settings(settings), m_lightRows(rows), m_agentNames(std::move(agentNames))
{
    setFixedSize(kWidth, kHeight);

    // The form scrolls as a whole when a long list and the row note do not fit.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll);
    content->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);

    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(6);
    column->addWidget(sectionTitle(QStringLiteral("Floating Light"), content));
    column->addWidget(buildLightSection());
    column->addSpacing(12);
    column->addWidget(buildListSection());
    column->addStretch(1);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->addWidget(scroll);

    applyColors();
    connect(&m_settings, &AppSettings::changed, this, &SettingsView::syncSettings);
    connect(&m_lightRows, &LightRows::changed, this, &SettingsView::syncRows);
    syncSettings();
}

QWidget* SettingsView::buildSizeRow(QWidget* parent)
{
    auto* sizeRow = new QWidget(parent);
    auto* sizeLayout = new QHBoxLayout(sizeRow);
    sizeLayout->setContentsMargins(0, 0, 0, 0);
    sizeLayout->setSpacing(10);
    m_scaleSlider = new QSlider(Qt::Horizontal, sizeRow);
    m_scaleSlider->setObjectName(QStringLiteral("scaleSlider"));
    m_scaleSlider->setRange(kSliderMin, kSliderMax);
    m_scaleSlider->setSingleStep(1);
    m_scaleSlider->setPageStep(5);
    connect(m_scaleSlider, &QSlider::valueChanged, this, &SettingsView::sliderMoved);
    m_percentLabel = new QLabel(sizeRow);
    m_percentLabel->setObjectName(QStringLiteral("scalePercent"));
    m_percentLabel->setFont(tabularDigitsFont(m_percentLabel->font()));
    m_percentLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Wide enough for the widest value, so the slider does not shift while it moves.
    m_percentLabel->setFixedWidth(
        QFontMetrics(m_percentLabel->font()).horizontalAdvance(QStringLiteral("300%")) + 2);
    sizeLayout->addWidget(m_scaleSlider, 1);
    sizeLayout->addWidget(m_percentLabel);
    return sizeRow;
}

QWidget* SettingsView::buildLightSection()
{
    auto* frame = new Card(this);
    m_lightForm = new QFormLayout(frame);
    m_lightForm->setContentsMargins(12, 10, 12, 10);
    m_lightForm->setHorizontalSpacing(12);
    m_lightForm->setVerticalSpacing(10);
    m_lightForm->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_lightForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    // With wide system fonts a picker moves under its label rather than out of sight.
    m_lightForm->setRowWrapPolicy(QFormLayout::WrapLongRows);

    m_layoutPicker = new SegmentedControl(
        {QStringLiteral("Combined"), QStringLiteral("Per window"), QStringLiteral("Row of dots")}, frame);
    m_layoutPicker->setObjectName(QStringLiteral("layoutPicker"));
    connect(m_layoutPicker, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(kAllOverlayModes.size()))
            m_settings.setOverlayMode(kAllOverlayModes[static_cast<std::size_t>(index)]);
    });
    m_lightForm->addRow(QStringLiteral("Layout"), m_layoutPicker);

    m_orientationPicker =
        new SegmentedControl({QStringLiteral("Vertical"), QStringLiteral("Horizontal")}, frame);
    m_orientationPicker->setObjectName(QStringLiteral("orientationPicker"));
    connect(m_orientationPicker, &SegmentedControl::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(kAllOverlayOrientations.size()))
            m_settings.setOrientation(kAllOverlayOrientations[static_cast<std::size_t>(index)]);
    });
    m_lightForm->addRow(QStringLiteral("Orientation"), m_orientationPicker);

    m_lightForm->addRow(QStringLiteral("Size"), buildSizeRow(frame));

    m_showLabels = new QCheckBox(QStringLiteral("Show window labels"), frame);
    m_showLabels->setObjectName(QStringLiteral("showLabelsToggle"));
    connect(m_showLabels, &QCheckBox::clicked, &m_settings, &AppSettings::setShowLabels);
    m_lightForm->addRow(QString(), m_showLabels);

    m_perTab = new QCheckBox(QStringLiteral("One light per tab (conversation)"), frame);
    m_perTab->setObjectName(QStringLiteral("perTabToggle"));
    connect(m_perTab, &QCheckBox::clicked, &m_settings, &AppSettings::setPerTab);
    m_lightForm->addRow(QString(), m_perTab);

    m_rowNote = captionLabel(QStringLiteral("One colored dot per window: green when idle, "
                                            "orange while working, red when it needs you."),
                             frame);
    m_rowNote->setObjectName(QStringLiteral("rowNote"));
    m_lightForm->addRow(QString(), m_rowNote);

    m_notify = new QCheckBox(QStringLiteral("Notify When an Agent Needs You"), frame);
    m_notify->setObjectName(QStringLiteral("notifyToggle"));
    connect(m_notify, &QCheckBox::clicked, &m_settings, &AppSettings::setNotifyWhenAgentNeedsYou);
    m_lightForm->addRow(m_notify); // both across the form: the second is too long for the field column
    m_answerPrompts = new QCheckBox(QStringLiteral("Answer Permission Prompts"), frame);
    m_answerPrompts->setObjectName(QStringLiteral("answerPromptsToggle"));
    connect(m_answerPrompts, &QCheckBox::clicked, &m_settings, &AppSettings::setAnswerPermissionPrompts);
    m_lightForm->addRow(m_answerPrompts);
    m_answerNote = captionLabel(QStringLiteral("Allow and Deny in the menu while an agent asks. Off: no hook "
                                               "of Korvane's waits at a prompt, for remote controls that "
                                               "deny a prompt such a hook leaves open."),
                                frame);
    m_lightForm->addRow(m_answerNote);
    m_answer = new QCheckBox(QStringLiteral("Answer Permission Prompts from Notifications"), frame);
    m_answer->setObjectName(QStringLiteral("answerToggle"));
    connect(m_answer, &QCheckBox::clicked, &m_settings, &AppSettings::setAnswerFromNotifications);
    m_lightForm->addRow(m_answer);
    return frame;
}

QWidget* SettingsView::buildListSection()
{
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 4, 0);
    m_listTitle = sectionTitle(QString(), section);
    m_listTitle->setObjectName(QStringLiteral("listTitle"));
    m_resetOrder = new QPushButton(QStringLiteral("Reset order"), section);
    m_resetOrder->setObjectName(QStringLiteral("resetOrderButton"));
    m_resetOrder->setFont(captionFont(m_resetOrder->font()));
    m_resetOrder->setCursor(Qt::PointingHandCursor);
    m_resetOrder->setFlat(true);
    m_resetOrder->setStyleSheet(
        QStringLiteral("QPushButton { border: none; padding: 0; background: transparent;"
                       " color: palette(link); }"
                       "QPushButton:hover { text-decoration: underline; }"));
    connect(m_resetOrder, &QPushButton::clicked, this, [this] { m_settings.setLightOrder({}); });
    header->addWidget(m_listTitle);
    header->addStretch(1);
    header->addWidget(m_resetOrder);
    column->addLayout(header);

    auto* frame = new Card(section);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(1, 1, 1, 1);
    inner->setSpacing(0);

    m_list = new RowList(frame);
    m_list->setObjectName(QStringLiteral("detectedList"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(new DetectedRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setDropIndicatorShown(true);
    // One scroll bar for the whole form: a list that scrolled inside it would
    // be a second one, and would push the footer out of reach.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setAttribute(Qt::WA_MacShowFocusRect, false);
    // The view moves the row itself; the settings learn of it here and store the new order.
    connect(m_list->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int first, int last, const QModelIndex&, int destination) {
                rowsMoved(first, last, destination);
            });
    inner->addWidget(m_list);

    m_emptyText = new QLabel(frame);
    m_emptyText->setObjectName(QStringLiteral("emptyText"));
    m_emptyText->setWordWrap(true);
    m_emptyText->setContentsMargins(13, 10, 13, 10);
    inner->addWidget(m_emptyText);
    column->addWidget(frame);

    m_footer = captionLabel(QStringLiteral("Drag the rows to set the order your lights appear in."), section);
    m_footer->setObjectName(QStringLiteral("listFooter"));
    m_footer->setContentsMargins(4, 0, 4, 0);
    column->addWidget(m_footer);
    return section;
}

int SettingsView::listHeight(qsizetype rows)
{
    return static_cast<int>(rows * DetectedRowDelegate::kRowHeight + kListPadding);
}

QString SettingsView::percentText(double scale)
{
    // The slider's tenths are not exact in binary (2.3 * 100 is 229.99...), so allow
    // for that before dropping the fraction.
    const double percent = std::floor(scale * 100.0 + 1e-6);
    return QString::number(static_cast<long long>(percent)) + QLatin1Char('%');
}

QFont SettingsView::captionFont(const QFont& base)
{
    QFont font(base);
    if (base.pointSizeF() > 0)
        font.setPointSizeF(std::max(6.0, base.pointSizeF() - 1.0));
    else if (base.pixelSize() > 0)
        font.setPixelSize(std::max(8, base.pixelSize() * 7 / 8));
    return font;
}

QColor SettingsView::secondaryColor(const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.55F);
    return color;
}

QColor SettingsView::tertiaryColor(const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(0.3F);
    return color;
}

QFont SettingsView::tabularDigitsFont(const QFont& base)
{
    const QFontMetricsF metrics(base);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    bool tabular = true;
    for (char16_t d = u'1'; d <= u'9' && tabular; ++d)
        tabular = qFuzzyCompare(metrics.horizontalAdvance(QChar(d)), zero);
    if (tabular)
        return base;
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (base.pointSizeF() > 0)
        fixed.setPointSizeF(base.pointSizeF());
    else if (base.pixelSize() > 0)
        fixed.setPixelSize(base.pixelSize());
    return fixed;
}

void SettingsView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColors();
}

void SettingsView::applyColors()
{
    const QColor secondary = secondaryColor(palette());
    for (QWidget* w : {static_cast<QWidget*>(m_percentLabel), static_cast<QWidget*>(m_rowNote),
                       static_cast<QWidget*>(m_emptyText), static_cast<QWidget*>(m_footer)})
        setTextColor(w, secondary);
    m_list->viewport()->update();
}

QString SettingsView::emptyText(const QStringList& agentNames, bool perTab)
{
    QString agents = agentNames.mid(0, agentNames.size() - 1).join(QStringLiteral(", "));
    if (agentNames.size() > 1)
        agents += QStringLiteral(" or ");
    if (!agentNames.isEmpty())
        agents += agentNames.last() + u' ';
    return QStringLiteral("No active %1%2 yet.")
        .arg(agents, perTab ? QStringLiteral("tabs") : QStringLiteral("windows"));
}

void SettingsView::syncSettings()
{
    const bool combined = m_settings.overlayMode() == OverlayMode::Combined;
    m_layoutPicker->setCurrentIndex(modeIndex(m_settings.overlayMode()));
    m_orientationPicker->setCurrentIndex(orientationIndex(m_settings.orientation()));
    {
        // Following the settings must not assign the scale again.
        const QSignalBlocker block(m_scaleSlider);
        m_scaleSlider->setValue(static_cast<int>(std::lround(m_settings.scale() * 10.0)));
    }
    m_percentLabel->setText(percentText(m_settings.scale()));
    m_showLabels->setChecked(m_settings.showLabels());
    m_showLabels->setEnabled(!combined);
    m_perTab->setChecked(m_settings.perTab());
    m_perTab->setEnabled(!combined);
    m_notify->setChecked(m_settings.notifyWhenAgentNeedsYou());
    m_answerPrompts->setChecked(m_settings.answerPermissionPrompts());
    m_answer->setChecked(m_settings.answerFromNotifications());
    m_answer->setEnabled(m_settings.answerPermissionPrompts());
    m_lightForm->setRowVisible(m_rowNote, m_settings.overlayMode() == OverlayMode::Row);

    const bool perTab = m_settings.perTab();
    m_listTitle->setText(perTab ? QStringLiteral("Detected Tabs") : QStringLiteral("Detected Windows"));
    m_emptyText->setText(emptyText(m_agentNames, perTab));
    m_resetOrder->setVisible(!m_settings.lightOrder().isEmpty());
    syncRows();
}

void SettingsView::syncRows()
{
    const WindowStatusList rows = m_lightRows.rows();

    // Compare with what the list holds now (after a drag that is already the new order),
    // so that a drop only updates rows in place.
    bool sameIds = m_list->count() == rows.size();
    for (int i = 0; sameIds && i < m_list->count(); ++i)
        sameIds = m_list->item(i)->data(DetectedRowDelegate::IdRole).toString() == rows.at(i).id;

    if (!sameIds && m_moving) {
        // Rebuilding inside the view's own move would pull its rows from under it.
        QTimer::singleShot(0, this, &SettingsView::syncRows);
        return;
    }
    if (!sameIds)
        m_list->clear();
    for (int i = 0; i < rows.size(); ++i) {
        const WindowStatus& row = rows.at(i);
        QListWidgetItem* item = sameIds ? m_list->item(i) : new QListWidgetItem(m_list);
        if (!sameIds) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled);
            item->setData(DetectedRowDelegate::IdRole, row.id);
        }
        item->setData(Qt::DisplayRole, row.name);
        item->setData(DetectedRowDelegate::StateRole, static_cast<int>(row.state));
        item->setData(DetectedRowDelegate::StatusTextRole, statusText(row.state));
        item->setToolTip(row.id.isEmpty() ? row.name : row.id);
    }
    m_rows = rows;

    m_list->setFixedHeight(listHeight(rows.size()));
    m_list->setVisible(!rows.isEmpty());
    m_emptyText->setVisible(rows.isEmpty());
}

void SettingsView::rowsMoved(int first, int last, int destination)
{
    QSet<int> from;
    for (int i = first; i <= last; ++i)
        from.insert(i);
    // m_rows is still the order the user saw when the drag began.
    const WindowStatusList shown = m_rows;
    m_moving = true;
    m_settings.move(shown, from, destination);
    m_moving = false;
}

void SettingsView::sliderMoved(int value)
{
    m_settings.setScale(value / 10.0);
}

} // namespace korvane
