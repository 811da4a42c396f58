#include "foundation/logging/ConsoleOutput.h"

#include "foundation/logging/LogRedaction.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

namespace {

QMutex& consoleLock() {
    static QMutex lock;
    return lock;
}

ConsoleOutput::Sink& testSink() {
    static ConsoleOutput::Sink sink;
    return sink;
}

QMutex& capturedLock() {
    static QMutex lock;
    return lock;
}

QStringList& capturedLines() {
    static QStringList lines;
    return lines;
}

// Masked as every line is, before the lock is taken.
void writeLine(const QString& line, std::FILE* stream) {
    const QString shown = LogRedaction::maskedLine(line);
    QMutexLocker lock(&consoleLock());
    if (const ConsoleOutput::Sink& sink = testSink()) {
        sink(shown);
        return;
    }
    const QByteArray bytes = shown.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

}  // namespace

namespace ConsoleOutput {

void print(const QString& line) {
    writeLine(line, stdout);
}

void printError(const QString& line) {
    writeLine(line, stderr);
}

void print(const QString& line, const Sink& ownSink) {
    if (ownSink) {
        ownSink(LogRedaction::maskedLine(line));
    } else {
        print(line);
    }
}

void setSinkForTesting(Sink sink) {
    QMutexLocker lock(&consoleLock());
    testSink() = std::move(sink);
}

}  // namespace ConsoleOutput

ConsoleCapture::ConsoleCapture() {
    ConsoleOutput::setSinkForTesting([](const QString& line) {
        QMutexLocker lock(&capturedLock());
        capturedLines().append(line);
    });
}

ConsoleCapture::~ConsoleCapture() {
    ConsoleOutput::setSinkForTesting({});
}

QStringList ConsoleCapture::lines() {
    QMutexLocker lock(&capturedLock());
    return capturedLines();
}

void ConsoleCapture::clear() {
    QMutexLocker lock(&capturedLock());
    capturedLines().clear();
}

bool ConsoleCapture::contains(const QString& line) {
    return lines().contains(line);
}
