// The tonebridge desktop program.
#include "converter_app.h"

#include "tonebridge/core/conversion.h"

int main(int argc, char** argv) {
    // A polite kill leaves no half-written temporary output behind.
    tonebridge::core::removeTemporariesOnInterrupt();
    tonebridge::gui::CConverterApp app(argc, argv);
    app.initInstance();
    return app.exec();
}
