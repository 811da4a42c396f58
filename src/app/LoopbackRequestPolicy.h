#pragma once

#include "loopback/HttpReply.h"

#include <QByteArray>
#include <QList>

class TrustedPageOrigins;

// Which requests the loopback server answers, and who may read its replies from another origin.
namespace LoopbackRequestPolicy {

// "localhost", "127.0.0.1" or "[::1]" (any letter case), with or without a port of one to five
// digits up to 65535: the only names a page on this machine reaches the server by, so that no
// web site reaches it through a host name of its own.
bool isLoopbackHost(const QByteArray& host);

// The request's one "Origin" value when `origins` trusts it, else nothing. An opaque origin
// ("null") is never named: any page can make a document that sends it (a sandboxed frame, for
// one), and the client's own pages do not need it. Neither is "*".
HttpReply::AllowedOrigin allowedOrigin(const QList<QByteArray>& originHeaders,
                                       const TrustedPageOrigins& origins);

}  // namespace LoopbackRequestPolicy
