#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

#include <sys/resource.h>
#include <csignal>

// Process-wide settings a test changes: each is saved before the change and put back as it was
// when the restorer ends or `restore` is called, the last saved first. A test keeps one for as
// long as its change lasts (a test function, or initTestCase to cleanupTestCase), so that what
// the next test or the rest of the process sees is what it would have seen without it.
class ProcessSettingsRestorer {
public:
    ProcessSettingsRestorer() = default;
    ~ProcessSettingsRestorer() { restore(); }
    ProcessSettingsRestorer(const ProcessSettingsRestorer&) = delete;
    ProcessSettingsRestorer& operator=(const ProcessSettingsRestorer&) = delete;

    // The disposition of the signal `number` (its handler, mask and flags).
    void saveSignal(int number) {
        struct sigaction saved {};
        ::sigaction(number, nullptr, &saved);
        m_restores.push_back([number, saved] { ::sigaction(number, &saved, nullptr); });
    }

    // Both values of the limit `resource` (RLIMIT_…).
    void saveLimit(int resource) {
        rlimit saved{};
        if (::getrlimit(resource, &saved) == 0) {
            m_restores.push_back([resource, saved] { ::setrlimit(resource, &saved); });
        }
    }

    // The environment variable `name`: its value, or that it was not set.
    void saveEnvironmentVariable(const char* name) {
        const QByteArray variable(name);
        if (!qEnvironmentVariableIsSet(name)) {
            m_restores.push_back([variable] { qunsetenv(variable.constData()); });
            return;
        }
        m_restores.push_back(
            [variable, saved = qgetenv(name)] { qputenv(variable.constData(), saved); });
    }

    // Puts back everything saved so far and forgets it.
    void restore() {
        for (auto saved = m_restores.rbegin(); saved != m_restores.rend(); ++saved) {
            (*saved)();
        }
        m_restores.clear();
    }

private:
    std::vector<std::function<void()>> m_restores;
};
