#pragma once

#include <QByteArray>
#include <QString>

// Where the page's preview handling puts device screenshots so that the page can load them over
// HTTP. The loopback server sits above this library, so it installs itself here at start-up;
// until then, and in tests that install nothing, there is no store.
class PreviewImageStore {
public:
    virtual ~PreviewImageStore() = default;

    // Keeps the image under the device id (its decimal text), replacing any earlier image of that
    // id, and returns the URL the page loads it from. Safe to call from any thread.
    virtual QString storeImage(const QByteArray& imageData, const QString& deviceId) = 0;

    // The installed store, or nullptr. The caller keeps ownership and uninstalls before it dies.
    // Installed and read on the GUI thread.
    static PreviewImageStore* installed() { return current(); }
    static void install(PreviewImageStore* store) { current() = store; }

private:
    static PreviewImageStore*& current() {
        static PreviewImageStore* store = nullptr;
        return store;
    }
};
