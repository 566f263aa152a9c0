// SPDX-License-Identifier: Apache-2.0
#include <cstdio>
#include <cstring>

#include "demo_app.h"

int main(int argc, char** argv) {
    // Answered before any window, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("orvapanel %s\n", ORVA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "usage: orvapanel\n"
                "A window to try liborvanet against one PLC adapter: its address and TSAPs,\n"
                "a data area and a range, read as bytes or words into a list. It shows the\n"
                "logo oem.bmp from the working directory, or the installed one.\n");
            return 0;
        }
    }
    orvapanel::DemoApp app(argc, argv);
    return app.run();
}
