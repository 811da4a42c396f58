#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The client's console: plain UTF-8 lines on standard output, apart from the logger, and on
// standard error the line that ends the client with a failure. Every console line of every
// subsystem goes through here, so lines from several threads come out whole and a test can
// capture them all in one place.
namespace ConsoleOutput {

// Writes the line as every line is shown (LogRedaction::shownLine: masked, control characters
// escaped, so one line) and a line break in one write, then flushes.
void print(const QString& line);
// The same on standard error, for the line that says why the client ends with a failure.
void printError(const QString& line);
// A text of the client's own written over several lines on purpose (a script it sends): each of
// its lines masked and written as a line of its own, as every other line is, together.
void printLines(const QString& text);

// A component's own sink when it has one (a test's), else the console; shown either way.
using Sink = std::function<void(const QString& line)>;
void print(const QString& line, const Sink& ownSink);

// Replaces both streams for tests; an empty sink restores them. Called under the same lock as
// `print`, so the sink sees whole lines, one at a time, shown as the streams would get them.
void setSinkForTesting(Sink sink);

}  // namespace ConsoleOutput

// Collects console lines while it lives (tests). One at a time; lines are shared by all
// instances so that a helper can read them without holding the capture.
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    static QStringList lines();
    static void clear();
    static bool contains(const QString& line);
};
