// Starts like the client's main(): the helper mode first, before any application object.
#include "update/UpdateHelper.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (UpdateHelper::runIfRequested(argc, argv)) {
        return 0;
    }
    std::puts("normal start");
    return 3;
}
