#include "foundation/logging/ConsoleOutput.h"

#include "foundation/logging/LogRedaction.h"

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

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

// Lines already shown as lines are, written together.
void writeShown(const QStringList& lines, std::FILE* stream) {
    QMutexLocker lock(&consoleLock());
    if (const ConsoleOutput::Sink& sink = testSink()) {
        for (const QString& line : lines) {
            sink(line);
        }
        return;
    }
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toUtf8() + '\n';
    }
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Shown as every line is, before the lock is taken.
void writeLine(const QString& line, std::FILE* stream) {
    writeShown({LogRedaction::shownLine(line)}, stream);
}

}  // namespace

namespace ConsoleOutput {

void print(const QString& line) {
    writeLine(line, stdout);
}

void printError(const QString& line) {
    writeLine(line, stderr);
}

void printLines(const QString& text) {
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = LogRedaction::shownLine(line);
    }
    writeShown(lines, stdout);
}

void print(const QString& line, const Sink& ownSink) {
    if (ownSink) {
        ownSink(LogRedaction::shownLine(line));
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
