#include "support/small_volume.h"

#include <windows.h>

#include "support/sox.h"

namespace testing_support {

SmallVolume::SmallVolume(int kib) {
    unix_ = "/tmp/korvane-small-volume-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(kib);
    std::string answer = runUnixCommand("mkdir -p " + unix_ + " && mount -t tmpfs -o size=" + std::to_string(kib) +
                                        "k tmpfs " + unix_ + " && echo mounted");
    mounted_ = answer.find("mounted") != std::string::npos;
    if (!mounted_) why_ = answer;
    folder_ = "Z:" + unix_;
    for (char &c : folder_)
        if (c == '/') c = '\\';
}

SmallVolume::~SmallVolume() { runUnixCommand((mounted_ ? "umount " + unix_ + "; " : "") + "rmdir " + unix_); }

}  // namespace testing_support
