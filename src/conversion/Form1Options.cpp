// The conversion options on the "Conversion Options" tab.
#include "app/Form1.h"

namespace korvane {

void Form1::Option_Click() {}

void Form1::Text1_Change() {}

void Form1::Text1_LostFocus() {}

void Form1::Text2_Change() {}

void Form1::PushButton2_Click() {}

void Form1::connectOptionEvents() {}

} // namespace korvane
