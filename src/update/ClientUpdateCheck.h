#pragma once

#include "api/NetworkError.h"
#include "api/VersionResponse.h"
#include "update/UpdateInfo.h"

#include <QString>

#include <functional>
#include <optional>

// Turns the service's version record into an update offer for the update manager. Started once
// silently when the version reply arrives at start-up, and again on demand (the page's update
// request or the menu's update check) with alerts telling the user what came of it.
class ClientUpdateCheck {
public:
    // Shows a modal alert and returns once the user dismissed it.
    using AlertRunner = std::function<void(const QString& title, const QString& message)>;
    using OfferHandler = std::function<void(const UpdateInfo& offer)>;

    struct Seams {
        QString runningVersion;
        // Called on the GUI thread, after the check itself has returned.
        OfferHandler presentOffer;
        AlertRunner runAlert;
    };

    // The running client's version; offers go to `UpdateManager::shared()`, alerts are message
    // boxes.
    ClientUpdateCheck();
    explicit ClientUpdateCheck(Seams seams);

    // The completion of an on-demand version request.
    void handleClientVersionResult(const Result<VersionResponse, NetworkError>& result) const;
    // `manual` tells the user when there is nothing to update.
    void checkClientUpdate(const VersionResponse& response, bool manual) const;
    // Returns at once; the alert is shown from the GUI thread's queue.
    void showUpdateAlert(const QString& title, const QString& message) const;

    // The newest release of the record when it is above `runningVersion` and offered as an
    // update package over a usable address.
    static std::optional<UpdateInfo> makeUpdateInfo(const VersionResponse& response,
                                                    const QString& runningVersion);
    static void runUpdateAlert(const QString& title, const QString& message);

private:
    Seams m_seams;
};
