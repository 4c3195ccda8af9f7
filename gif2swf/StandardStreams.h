#pragma once

namespace gif2swf {

// Makes descriptors 0, 1 and 2 valid before anything is opened: one the caller closed is
// opened on /dev/null, so that no file the converter opens takes its number and receives
// the progress lines or messages meant for a standard stream. Windows: nothing (a file
// never takes a standard handle's place there).
void claimStandardStreams();

} // namespace gif2swf
