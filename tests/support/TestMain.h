#pragma once

#include <QString>
#include <QTest>

namespace korvane::test {

// Points HOME and the XDG folders at a fresh temporary directory for the life of
// the process, so that no test ever reads or writes the real home directory.
// Returns the new home path.
QString isolateHome();

} // namespace korvane::test

// Use instead of QTEST_MAIN / QTEST_GUILESS_MAIN. The home is isolated before the
// application object exists, so QDir::homePath() is the temporary one throughout.
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
