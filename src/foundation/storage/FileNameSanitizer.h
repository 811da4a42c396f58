#pragma once

#include <QString>

// `name` made usable as a file name: every "/", "\", ":", line break or control character
// becomes one "_". Everything else, blanks and dots included, stays as it is.
QString sanitizedFileName(const QString& name);
