#include "app/StationApplication.h"

int main(int argc, char** argv) {
    kelvora::StationApplication application(argc, argv);
    return application.run();
}
