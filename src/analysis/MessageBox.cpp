#include "analysis/MessageBox.h"

namespace torvo {

MessageAnswer CStreamMessageBox::Show(std::string_view caption, std::string_view text, MessageIcon, MessageButtons) {
    out_ << caption << ": " << text << "\n";
    out_.flush();
    return MessageAnswer::kOk;
}

}  // namespace torvo
