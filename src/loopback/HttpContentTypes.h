#pragma once

#include <QByteArray>
#include <QString>

// Content types of what the loopback server sends.
namespace HttpContentTypes {

// The type of an image by its first bytes; "application/octet-stream" when unknown or shorter
// than 12 bytes.
QString imageContentType(const QByteArray& image);

// The type of a web file by its extension (any letter case); "application/octet-stream" when
// unknown or empty.
QString mimeType(const QString& extension);

// The extension of the last component of a path: the text after its last dot, or empty when
// the name has no dot or only a leading one (".hidden").
QString pathExtension(const QString& path);

}  // namespace HttpContentTypes
