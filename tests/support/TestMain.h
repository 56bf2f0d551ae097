#pragma once

#include "platform/SystemLog.h"

#include <QTest>

namespace korvane::test {
// HOME and the XDG folders in a fresh temporary directory for the life of the
// process, so that no test ever sees the real home. Returns it.
QString isolateHome();
// The file's bytes; empty when it cannot be read.
QByteArray contentsOf(const QString& path);

// Takes the system log's lines for its lifetime.
class RecordingLog final : public SystemLog {
public:
    RecordingLog() { SystemLog::setInstance(this); }
    ~RecordingLog() override { SystemLog::setInstance(nullptr); }
    void write(const QString& line) override { lines.append(line); }
    QStringList lines;
};
} // namespace korvane::test

// Instead of QTEST_MAIN: the home is isolated before the application object exists.
#define KORVANE_TEST_MAIN_IMPL(TestObject, AppType)                                                          \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        korvane::test::isolateHome();                                                                        \
        AppType app(argc, argv);                                                                             \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
#define KORVANE_TEST_MAIN(TestObject) KORVANE_TEST_MAIN_IMPL(TestObject, QCoreApplication)
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define KORVANE_GUI_TEST_MAIN(TestObject) KORVANE_TEST_MAIN_IMPL(TestObject, QApplication)
#endif
