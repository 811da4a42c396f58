#pragma once

#include <QString>

// A script for the built-in page that runs `then` (a statement) once every device's preview
// picture has loaded, been decoded and drawn in a frame.
inline QString whenPreviewsShown(const QString& then) {
    return QStringLiteral(
               "(function check() {"
               "  const images = Array.from(document.querySelectorAll('.preview img'));"
               "  if (images.length === 0 || images.some(i => i.hidden || !i.complete)) {"
               "    return setTimeout(check, 50);"
               "  }"
               "  Promise.all(images.map(i => i.decode())).then(() =>"
               "    requestAnimationFrame(() => requestAnimationFrame(() => { %1; })),"
               "    () => setTimeout(check, 50));"
               "})()")
        .arg(then);
}
