#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// Where the service lives. The build fixes the hosts; the environment variables KX_API_BASE_URL
// and KX_RESOURCE_BASE_URL, read once per process, replace them so that tests and local runs
// can point the client at a server of their own. Safe to call from any thread.
namespace ServiceEndpoints {

// "https://<api host>/api" unless KX_API_BASE_URL names a valid http(s) address.
QUrl apiBaseUrl();
// "https://<resource host>" unless KX_RESOURCE_BASE_URL names a valid http(s) address.
QUrl resourceBaseUrl();
// The resource base followed by `path` (which begins with "/").
QUrl resourceUrl(const QString& path);
// An override as the environment gives it: a valid http or https address with a host, its
// trailing "/" removed; nothing otherwise, so a mistyped value falls back to the built-in host.
std::optional<QUrl> overrideFrom(const QString& value);

}  // namespace ServiceEndpoints
