// A small volume for a test that needs a disk running full: a tmpfs of a few hundred
// KiB mounted under /tmp (which needs the right to mount) and seen from Wine as a
// folder of drive Z:. Unmounted when the test is done with it.
#pragma once

#include <string>

namespace testing_support {

class SmallVolume {
public:
    // Mounts a volume of this many KiB; mounted() tells whether it could be, why() why not.
    explicit SmallVolume(int kib);
    ~SmallVolume();
    bool mounted() const { return mounted_; }
    const std::string &why() const { return why_; }
    // The volume's root as a Windows path ("Z:\\tmp\\...").
    const std::string &folder() const { return folder_; }

private:
    std::string unix_, folder_, why_;
    bool mounted_ = false;
};

}  // namespace testing_support
