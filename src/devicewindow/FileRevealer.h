#pragma once

#include <QUrl>

#include <functional>

// Shows a file to the user in the desktop's file manager, selected. Through the file manager's
// D-Bus interface when one answers, else by opening the folder that holds the file, or, where the
// desktop has no program for folders, by a console line that names the folder. GUI thread.
namespace FileRevealer {

using Handler = std::function<void(const QUrl& file)>;

void reveal(const QUrl& file);
// Replaces how files are shown (tests record them); an empty handler restores the desktop's.
void setHandler(Handler handler);

}  // namespace FileRevealer
