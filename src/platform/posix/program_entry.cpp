/*
 * Process entry of the Linux program: records the argument vector and runs the
 * application object.
 */
#include "platform/app_framework.h"

int main(int argc, char** argv) {
    platform::setArgumentVector(argc, argv);
    return platform::runApplication();
}
