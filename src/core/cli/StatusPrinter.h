#pragma once

#include "status/StatusStore.h"

#include <QByteArray>
#include <QObject>
#include <cstdio>

namespace korvane {

// Writes the store's status as lines to a stream, never the same line twice in
// a row: the store also reports changes that the line does not show.
class StatusPrinter : public QObject {
    Q_OBJECT

public:
    enum class Format { Text, Json };

    StatusPrinter(const StatusStore& store, Format format, std::FILE* out, QObject* parent = nullptr);

    // Writes and flushes the current line unless it is the last one written.
    // False when the stream failed.
    bool printIfChanged();
    // From now on, prints after every pass of the store that changed anything.
    void follow();

Q_SIGNALS:
    void outputFailed();

private:
    QByteArray currentLine() const;

    const StatusStore& m_store;
    Format m_format;
    std::FILE* m_out;
    QByteArray m_last;
};

} // namespace korvane
