#pragma once

#include <QStringList>
#include <QUrl>

#include <optional>

class TrustedPageOrigins;

// One page's answer from `TrustedPageOrigins`, decided once per navigation: a file page's answer
// resolves the file's and each trusted folder's links, which is too dear for every message.
// Asked again about the address it decided last, it answers from memory until the page navigates
// (`navigated`) or the trusted origins or folders change; another address (a page already left,
// whose late posts are judged by their own page) is decided afresh and remembered in its place.
// Belongs to its page's thread.
class PageTrust {
public:
    explicit PageTrust(const TrustedPageOrigins& origins);

    // The page started a navigation or changed its address: the next question decides again.
    void navigated();
    bool isTrusted(const QUrl& address);

private:
    struct Decision {
        QUrl address;
        quint64 originsGeneration = 0;
        QStringList folders;
        bool trusted = false;
    };

    const TrustedPageOrigins& m_origins;
    std::optional<Decision> m_decision;
};
