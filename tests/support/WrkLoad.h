#pragma once

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <algorithm>

// A program on the PATH or in /usr/sbin (where Debian puts nginx); empty when missing.
inline QString installedProgram(const QString& name) {
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin")})
                           : found;
}

// What one wrk run reports.
struct WrkResult {
    qint64 requests = 0;
    double requestsPerSecond = 0;
    double p99Milliseconds = 0;
    qint64 failures = 0;  // socket errors and non-2xx replies
    qint64 socketErrors = 0;
    QString output;

    static WrkResult parse(const QString& output) {
        WrkResult result;
        result.output = output;
        const auto number = [&output](const QString& pattern) {
            return QRegularExpression(pattern).match(output).captured(1);
        };
        result.requests = number(QStringLiteral("(\\d+) requests in")).toLongLong();
        result.requestsPerSecond = number(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).toDouble();
        result.failures =
            number(QStringLiteral("Non-2xx or 3xx responses:\\s+(\\d+)")).toLongLong();
        const QRegularExpressionMatch p99 =
            QRegularExpression(QStringLiteral("^\\s+99%\\s+([0-9.]+)(us|ms|s) *$"),
                               QRegularExpression::MultilineOption)
                .match(output);
        const double latency = p99.captured(1).toDouble();
        result.p99Milliseconds = p99.captured(2) == QLatin1String("us")  ? latency / 1000
                                 : p99.captured(2) == QLatin1String("s") ? latency * 1000
                                                                         : latency;
        const QRegularExpressionMatch errors =
            QRegularExpression(
                QStringLiteral(
                    "Socket errors: connect (\\d+), read (\\d+), write (\\d+), timeout (\\d+)"))
                .match(output);
        for (int i = 1; i <= 4; ++i) {
            result.socketErrors += errors.captured(i).toLongLong();
        }
        result.failures += result.socketErrors;
        return result;
    }

    // Failed tries among all tries (the requests answered and those a socket error ended).
    double failedShare() const {
        const qint64 tries = requests + socketErrors;
        return tries > 0 ? static_cast<double>(failures) / static_cast<double>(tries) : 1.0;
    }
};

// Starts wrk with 4 threads, `connections` connections for `seconds` on `url`; the caller waits
// for it (waitForFinished or its own loop) and parses its standard output.
inline void startWrk(QProcess& wrk, const QString& url, int connections, int seconds) {
    wrk.start(installedProgram(QStringLiteral("wrk")),
              {QStringLiteral("-t4"), QStringLiteral("-c%1").arg(connections),
               QStringLiteral("-d%1s").arg(seconds), QStringLiteral("--latency"), url});
}

// How many descriptors the process holds now.
inline int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

// The most descriptors the process held until `program` ended (or `limitMs` passed), counted
// every 5 ms.
inline int mostDescriptorsUntilFinished(QProcess& program, int limitMs = 60000) {
    int most = openDescriptors();
    for (int waited = 0; waited < limitMs && !program.waitForFinished(5); waited += 5) {
        most = std::max(most, openDescriptors());
    }
    return most;
}
