#include "session/ClientInitOptions.h"

KXClientParamsObc ClientInitOptions::makeClientParams() const {
    KXClientParamsObc params;
    params.setAppKey(appKey.value_or(QString()));
    params.setIsOversea(area == Area::international);
    return params;
}

QString ClientInitOptions::description() const {
    const QString key =
        appKey ? QStringLiteral("Optional(\"%1\")").arg(*appKey) : QStringLiteral("nil");
    const QString region =
        area == Area::international ? QStringLiteral("international") : QStringLiteral("domestic");
    return QStringLiteral("ClientInitOptions(appKey: %1, area: %2)").arg(key, region);
}
