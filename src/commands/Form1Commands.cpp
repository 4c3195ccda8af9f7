// The command bars (menus and toolbar), the command dispatcher, help, samples and web links.
#include "app/Form1.h"

namespace korvane {

void Form1::CreateToolbar() {}

void Form1::CreateMenu() {}

void Form1::CommandBars_Execute(int) {}

void Form1::Help() {}

void Form1::LoadSample() {}

void Form1::PlayDemoVideo() {}

void Form1::OpenFaqPage() {}

void Form1::OpenHomePage() {}

void Form1::PushButton1_Click() {}

void Form1::TabControl1_SelectedChanged() {}

void Form1::connectCommandEvents() {}

} // namespace korvane
