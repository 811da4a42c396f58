#pragma once

#include <QStringView>

// The first position at or after a start where a test holds. Starts come in the order of the
// line, so an answer still ahead of the next start is that start's answer too, and no character
// is tested twice.
class NextWhere {
public:
    using Test = bool (*)(QStringView text, qsizetype position);

    NextWhere(QStringView text, Test test) : m_text(text), m_test(test) {}

    // The position, or the text's size where the test holds nowhere after `start`.
    qsizetype from(qsizetype start) {
        if (start < m_start || start > m_found) {
            m_found = start;
            while (m_found < m_text.size() && !m_test(m_text, m_found)) {
                ++m_found;
            }
        }
        m_start = start;
        return m_found;
    }

private:
    QStringView m_text;
    Test m_test;
    qsizetype m_start = -1;
    qsizetype m_found = -1;
};
