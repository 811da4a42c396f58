#pragma once

#include <QByteArray>

#include <memory>

// Writes a report prepared in advance when the process dies of a fatal signal (segmentation
// fault, bus error, illegal instruction, arithmetic error, abort), then lets the signal take its
// earlier course. In the handler nothing is allocated or locked: it only writes the prepared
// bytes, the signal's name and the time to a new file.
class CrashSignalHandler {
public:
    struct Report {
        QByteArray path;  // the file to create
        // The handler writes `head`, the exception and "timestamp" members, then `tail`.
        QByteArray head;
        QByteArray tail;
    };

    // Once per process; later calls do nothing.
    static void install();
    // The report to write from now on; none writes nothing.
    static void publish(std::unique_ptr<Report> report);
};
