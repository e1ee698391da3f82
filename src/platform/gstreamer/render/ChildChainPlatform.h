// Builds suggested chains in the render child (torvo-render --build), one
// child per chain under a time limit, so that a plugin that crashes or hangs
// while the chain is built never touches the calling program.
#pragma once

#include <chrono>
#include <string>

#include "render/ChainBuild.h"

namespace torvo {

class CChildChainPlatform : public IChainBuildPlatform {
public:
    explicit CChildChainPlatform(std::chrono::milliseconds timeLimit = std::chrono::milliseconds(20000),
                                 std::string helper = {});
    ChainBuildReport BuildChain(const ChainBuildRequest& request) override;

private:
    std::chrono::milliseconds timeLimit_;
    std::string helper_;
};

// The report line of the child's output (exposed for tests).
ChainBuildReport ParseChainReport(const std::string& lines, bool exitedNormally);

}  // namespace torvo
