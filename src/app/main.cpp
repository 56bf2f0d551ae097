#include "status/StatusStore.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    korvane::StatusStore store;
    store.start();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &store, &korvane::StatusStore::stop);
    return QApplication::exec();
}
