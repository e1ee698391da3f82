#include "export/TemplateKeys.h"

#include <gtest/gtest.h>

namespace torvo {
namespace {

TEST(TemplateKeys, UnknownPlaceholdersOnceInOrder) {
    using Keys = std::vector<std::string>;
    EXPECT_EQ(UnknownTemplateKeys("%FILE_NAME%\\t%VIDEO_CODEC_NAME%\\r\\n"), Keys{});
    EXPECT_EQ(UnknownTemplateKeys("%file_name% %NOPE% %FILE_SIZE% %NOPE% %ALSO%"), (Keys{"%NOPE%", "%ALSO%"}));
    // An escaped sign is text; an unclosed one runs to the end.
    EXPECT_EQ(UnknownTemplateKeys("100\\% %FILE_NAME%"), Keys{});
    EXPECT_EQ(UnknownTemplateKeys("12 %percent"), Keys{"%percent"});
}

}  // namespace
}  // namespace torvo
