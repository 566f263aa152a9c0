#include "demo_app.h"

int main(int argc, char** argv) {
    orvapanel::DemoApp app(argc, argv);
    return app.run();
}
