#pragma once

#include <QString>

// What a client is made with: the service's app key (empty when none) and the service region.
class KXClientParamsObc {
public:
    void setAppKey(const QString& appKey) { m_appKey = appKey; }
    const QString& appKey() const { return m_appKey; }

    void setIsOversea(bool isOversea) { m_isOversea = isOversea; }
    bool isOversea() const { return m_isOversea; }

    bool operator==(const KXClientParamsObc&) const = default;

private:
    QString m_appKey;
    bool m_isOversea = false;
};
