// The conversion run: Start turns the listed GIF files into SWF movies.
#include "app/Form1.h"

namespace korvane {

void Form1::Start() {}

} // namespace korvane
