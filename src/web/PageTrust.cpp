#include "web/PageTrust.h"

#include "web/TrustedPageOrigins.h"

PageTrust::PageTrust(const TrustedPageOrigins& origins) : m_origins(origins) {}

void PageTrust::navigated() {
    m_decision.reset();
}

bool PageTrust::isTrusted(const QUrl& address) {
    // The folders as the providers name them, unresolved: asking costs no file system call.
    const quint64 generation = m_origins.generation();
    QStringList folders = m_origins.trustedFolders();
    if (m_decision && m_decision->address == address &&
        m_decision->originsGeneration == generation && m_decision->folders == folders) {
        return m_decision->trusted;
    }
    const bool trusted = m_origins.isTrustedPage(address);
    m_decision = Decision{address, generation, std::move(folders), trusted};
    return trusted;
}
