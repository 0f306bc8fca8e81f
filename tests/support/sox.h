// Runs Unix programs from a test (Wine starts them directly): the machine's own sox
// as an independent reader of the files the program wrote, and shell commands.
#pragma once

#include <string>

namespace testing_support {

// The Unix path Wine maps a Windows path to; empty when it has none.
std::string unixPath(const std::string &windowsPath);
// What a Unix shell command printed (stdout and stderr), once it has ended; "" when
// it could not run. Windows paths in it must be given through unixPath.
std::string runUnixCommand(const std::string &command);
// What `sox <arguments>` printed.
std::string runSox(const std::string &arguments);
// A field of `sox --i` ("Channels", "Sample Rate", "Precision", "Sample Encoding",
// "Duration"), trimmed; empty when absent.
std::string soxInfoField(const std::string &info, const std::string &field);

}  // namespace testing_support
