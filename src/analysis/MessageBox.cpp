#include "analysis/MessageBox.h"

#include "base/Translate.h"

namespace torvo {

MessageAnswer CStreamMessageBox::Show(std::string_view caption, std::string_view text, MessageIcon, MessageButtons) {
    out_ << Localise(caption) << ": " << Localise(text) << "\n";
    out_.flush();
    return MessageAnswer::kOk;
}

}  // namespace torvo
