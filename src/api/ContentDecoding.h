#pragma once

#include "foundation/json/Result.h"

#include <QByteArray>

// A reply body as sent with its Content-Encoding ("gzip", "deflate" or none) made plain again.
// Bodies that would inflate beyond `maxSize` are refused rather than held in memory.
Result<QByteArray> decodeContent(const QByteArray& contentEncoding, const QByteArray& body,
                                 qsizetype maxSize = qsizetype(64) * 1024 * 1024);
