// Makes the first native web view of a process, which starts the web engine, and ends.
#include "web/NativeWebView.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const NativeWebView view;
    return 0;
}
