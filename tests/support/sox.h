// Runs the machine's own sox (a Unix program, which Wine starts directly) on a file
// the program wrote, as an independent reader.
#pragma once

#include <string>

namespace testing_support {

// The Unix path Wine maps a Windows path to; empty when it has none.
std::string unixPath(const std::string &windowsPath);
// What `sox <arguments>` printed (stdout and stderr); "" when sox could not run.
// Windows paths in the arguments must be given through unixPath.
std::string runSox(const std::string &arguments);
// A field of `sox --i` ("Channels", "Sample Rate", "Precision", "Sample Encoding",
// "Duration"), trimmed; empty when absent.
std::string soxInfoField(const std::string &info, const std::string &field);

}  // namespace testing_support
