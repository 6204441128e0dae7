// The tonebridge desktop program.
#include "converter_app.h"

int main(int argc, char** argv) {
    tonebridge::gui::CConverterApp app(argc, argv);
    app.initInstance();
    return app.exec();
}
