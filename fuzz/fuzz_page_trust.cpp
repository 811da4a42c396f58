// Which pages are the client's own: any address, as text or as a path under a small tree of
// folders, links leading out of and around the trusted ones, and a chosen address before it.
// Input: one byte saying how the rest forms an address; a line before the first line break, when
// there is one, is an address the page chose ("debug-change-url").
#include "FuzzSupport.h"

#include "web/PageTrust.h"
#include "web/TrustedPageOrigins.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

struct Tree {
    QTemporaryDir dir;
    QString root;
    QString content;
    QString builtIn;
};

Tree* g_tree = nullptr;

void writeFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        fuzz::violated("the folder tree could not be made");
    }
    file.write("<!doctype html>");
}

// content/ (the web-content folder) with a page, links out, back to itself and to nothing;
// contentOld/ beside it sharing its name's start; builtin/pc/ (the built-in page's folder);
// outside/ with a page.
void makeTree(Tree& tree) {
    tree.root = QFileInfo(tree.dir.path()).canonicalFilePath();
    tree.content = tree.root + "/content";
    tree.builtIn = tree.root + "/builtin/pc";
    writeFile(tree.content + "/1.0/pc/index.html");
    writeFile(tree.root + "/contentOld/index.html");
    writeFile(tree.builtIn + "/index.html");
    writeFile(tree.root + "/outside/index.html");
    QFile::link(tree.root + "/outside", tree.content + "/out");
    QFile::link(tree.content, tree.content + "/self");
    QFile::link(tree.root + "/nowhere", tree.content + "/dangling");
    QFile::link(tree.content, tree.root + "/to-content");
}

// Independently of the client's code: the path with every link resolved by the C library, a
// missing tail resolved through its longest existing ancestor.
std::string resolvedPath(const std::string& path) {
    std::string ancestor = path;
    std::string tail;
    while (!ancestor.empty()) {
        char buffer[PATH_MAX];
        if (::realpath(ancestor.c_str(), buffer) != nullptr) {
            return QDir::cleanPath(QString::fromStdString(std::string(buffer) + tail))
                .toStdString();
        }
        const std::size_t slash = ancestor.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        tail = ancestor.substr(slash) + tail;
        ancestor.resize(slash);
    }
    return QDir::cleanPath(QString::fromStdString("/" + tail)).toStdString();
}

bool liesInside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder == "/" ? folder : folder + "/");
}

QUrl addressFrom(std::uint8_t how, const QString& text) {
    switch (how % 4) {
        case 0:
            return QUrl(text);
        case 1:
            return QUrl(text, QUrl::StrictMode);
        case 2:
            return QUrl::fromLocalFile(g_tree->root + "/" + text);
        default:
            return QUrl("file://" + g_tree->root + "/" + text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    static Tree tree;
    makeTree(tree);
    g_tree = &tree;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    QString text = QString::fromUtf8(fuzz::bytes(data + 1, size - 1));
    const QString content = g_tree->content;
    TrustedPageOrigins origins(
        {QUrl("https://api.example.com/api"), QUrl("http://res.example.com")}, g_tree->builtIn,
        [content] { return content; });
    origins.setLoopbackPort(9988);
    if (const qsizetype lineBreak = text.indexOf('\n'); lineBreak >= 0) {
        origins.trustChosenAddress(QUrl(text.left(lineBreak)));
        text = text.sliced(lineBreak + 1);
    }
    const QUrl address = addressFrom(data[0], text);

    if (origins.isTrustedOrigin(QStringLiteral("null"))) {
        fuzz::violated("the opaque origin \"null\" is trusted");
    }
    const bool trusted = origins.isTrustedPage(address);
    if (origins.isTrustedPage(address) != trusted) {
        fuzz::violated("a second decision differs from the first");
    }
    PageTrust pageTrust(origins);
    if (pageTrust.isTrusted(address) != trusted || pageTrust.isTrusted(address) != trusted) {
        fuzz::violated("the page's remembered decision differs from a fresh one");
    }
    pageTrust.navigated();
    if (pageTrust.isTrusted(address) != trusted) {
        fuzz::violated("the decision after a navigation differs");
    }
    if (!trusted) {
        return 0;
    }

    const QString scheme = address.scheme().toLower();
    if (scheme == "http" || scheme == "https") {
        const QString origin = TrustedPageOrigins::originOf(address);
        if (origin == "null" || !origins.isTrustedOrigin(origin)) {
            fuzz::violated("a trusted web page has no trusted origin");
        }
    } else if (address.isLocalFile()) {
        const std::string page =
            resolvedPath(QFileInfo(address.toLocalFile()).absoluteFilePath().toStdString());
        bool inside = false;
        for (const QString& folder : origins.trustedFolders()) {
            const std::string resolvedFolder =
                resolvedPath(QFileInfo(folder).absoluteFilePath().toStdString());
            inside = inside || liesInside(page, resolvedFolder);
        }
        if (!inside) {
            fuzz::violated("a trusted file page lies outside every trusted folder");
        }
    } else if (scheme != "data") {
        fuzz::violated("a page of another scheme is trusted");
    }
    return 0;
}
