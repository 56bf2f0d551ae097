#pragma once

#include "settings/DefaultsKeys.h"
#include "status/WindowStatus.h"

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QFormLayout;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;

namespace korvane {

class AppSettings;
class SegmentedControl;
class LightRows;

// The settings form: the floating-light preferences and the detected windows
// (or tabs) in light order, reordered by dragging. Every control writes to
// AppSettings at once; the form follows every change of the settings and the
// store, wherever it came from.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 500;
    static constexpr int kListPadding = 8;
    // In tenths of the scale.
    static constexpr int kSliderMin = static_cast<int>(DefaultsKeys::scale.min * 10);
    static constexpr int kSliderMax = static_cast<int>(DefaultsKeys::scale.max * 10);

    // `agentNames`: the agents served here, as the empty list names them.
    SettingsView(AppSettings& settings, const LightRows& rows, QStringList agentNames = {},
                 QWidget* parent = nullptr);
    // "No active A or B windows yet." with the agents named, "No active tabs yet." without.
    static QString emptyText(const QStringList& agentNames, bool perTab);

    // 28 per row plus 8: the list shows every row and the form scrolls as a whole.
    static int listHeight(qsizetype rows);
    // "150%": the scale in whole percent, the fraction dropped.
    static QString percentText(double scale);

    // Shared with the row painter so that the list matches the form.
    static QFont captionFont(const QFont& base);
    static QColor secondaryColor(const QPalette& palette);
    static QColor tertiaryColor(const QPalette& palette);
    // `base`, or a fixed-pitch face of the same size when its digits differ in width.
    static QFont tabularDigitsFont(const QFont& base);

protected:
    void changeEvent(QEvent* event) override;

private:
    QWidget* buildLightSection();
    // The scale slider and its percentage.
    QWidget* buildSizeRow(QWidget* parent);
    QWidget* buildListSection();
    void applyColors();
    void syncSettings();
    void syncRows();
    void rowsMoved(int first, int last, int destination);
    void sliderMoved(int value);

    AppSettings& m_settings;
    const LightRows& m_lightRows;
    QStringList m_agentNames;
    WindowStatusList m_rows;
    bool m_moving = false;

    SegmentedControl* m_layoutPicker = nullptr;
    SegmentedControl* m_orientationPicker = nullptr;
    QSlider* m_scaleSlider = nullptr;
    QLabel* m_percentLabel = nullptr;
    QCheckBox* m_showLabels = nullptr;
    QCheckBox* m_perTab = nullptr;
    QCheckBox* m_notify = nullptr;
    QCheckBox* m_answerPrompts = nullptr;
    QLabel* m_answerNote = nullptr;
    QCheckBox* m_answer = nullptr;
    QLabel* m_rowNote = nullptr;
    QFormLayout* m_lightForm = nullptr;
    QLabel* m_listTitle = nullptr;
    QPushButton* m_resetOrder = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_emptyText = nullptr;
    QLabel* m_footer = nullptr;
};

} // namespace korvane
